#pragma once

#include <QSettings>
#include <QString>
#include <memory>

// The self-test's own defaults suite and keyring service, so the user's settings
// and keys are never touched. What a run leaves behind (also after a crash) is
// swept at the start and at the end of the next run.
namespace ThrowAway {

// The application id + ".selftest": the defaults suite and the keyring service.
QString suiteName();

// The suite's store; removeSuite() empties it and deletes its file.
std::unique_ptr<QSettings> openSuite();
void removeSuite();

// Notes a keyring account before the run writes it under the throw-away service,
// so that a crashed run's item is found and removed later.
void noteKeyringItem(const QString& account);
// Removes every noted item and the suite.
void sweep();

// Points the keyring at the throw-away service until it goes out of scope.
class KeyringService {
public:
    KeyringService();
    ~KeyringService();
    KeyringService(const KeyringService&) = delete;
    KeyringService& operator=(const KeyringService&) = delete;

private:
    QString previous_;
};

} // namespace ThrowAway
