// The one way out: every quit request comes here.
#include "app/AppController.h"

#include "core/Log.h"

void AppController::requestQuit()
{
    if (!recorder && !saving && !starting) {
        terminate();
        return;
    }
    // Starting: the start path stops the recording once capture runs (or gives up).
    // Recording: stop it. Saving: the save path ends the process.
    quitAfterSave = true;
    stopRecording();
}

void AppController::terminate()
{
    if (terminating_)
        return;
    terminating_ = true;
    // Uploads stop at their next resumable point; the process does not wait for them.
    *ending_ = true;
    slogFlush();
    ports_.application->terminate();
}
