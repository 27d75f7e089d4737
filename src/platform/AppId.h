#pragma once

// The application's identifier: the desktop-entry id, the keyring service name,
// the name of the single-instance lock and the tag on our own sound streams.
inline constexpr char appId[] = "app.zelvan.Zelvan";
