#pragma once

class AppController;

// "--preview" in the running application: the settings window, or with
// "--wrap" the end-of-day window with sample content; then a sample break
// nudge. Run once the launch has finished. Main thread.
namespace LaunchPreview {

void show(AppController& controller);

} // namespace LaunchPreview
