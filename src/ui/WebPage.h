#pragma once

#include "core/Url.h"

#include <functional>

// Hands a web page to the desktop's browser. Only http and https addresses go
// out: a link built from a stored base could name a file or another program.
namespace WebPage {

// False (and nothing opened) for any other scheme.
bool open(const Url& url);
// Replaces the browser, for tests; an empty function restores it.
void setOpener(std::function<void(const Url&)> opener);

} // namespace WebPage
