#pragma once

// The application's identifier: the desktop-entry id, the keyring service name
// and the name of the single-instance lock.
inline constexpr char appId[] = "app.zelvan.Zelvan";
