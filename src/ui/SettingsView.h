#pragma once

#include <QHash>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QToolButton;
class QVBoxLayout;
class Accounts;
class Settings;
class SignIn;
struct Workspace;

// The settings window's content, 600 × 730: the account (sign-in by a code
// shown here, the signed-in account and its projects), the legacy servers with
// their connection test while they apply, the options, and a footer with the
// global shortcuts and "Done". Redraws on every change of the settings or of
// the sign-in phase. Main thread.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    // onChange: the owner re-reads the account, the to-dos and the menu. Called by
    // "Refresh", a successful connection test, a removed server, the project
    // picker, and every change of the work-day record while the view lives.
    // onSignOut: the owner signs out ("Sign out").
    SettingsView(Accounts& accounts, SignIn& signIn, std::function<void()> onChange, std::function<void()> onSignOut,
                 QWidget* parent = nullptr);
    ~SettingsView() override;

    QSize sizeHint() const override { return {600, 730}; }

    // The legacy server whose form is shown.
    const std::optional<QUuid>& selected() const { return selected_; }
    void select(const std::optional<QUuid>& id);
    // The key field's text.
    const QString& key() const { return key_; }
    bool legacyExpanded() const { return legacyOpen_; }
    bool testing() const { return testing_; }
    // The last connection test's line for a server, if any.
    std::optional<QString> testResult(const QUuid& id) const;
    // Asks the server whom the key belongs to; the result line follows.
    void runTest(const QUuid& id);

signals:
    // A connection test has its result line.
    void testFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildLegacy();
    QWidget* buildOptions();
    void refresh();
    void refreshAccount();
    void refreshLegacy();
    void refreshOptions();
    void fillSignedIn(QVBoxLayout* box);
    void fillSignedOut(QVBoxLayout* box);
    std::optional<Workspace> selectedWorkspace() const;
    void loadKey();
    void commitKey();
    void editSelected(const std::function<void(Workspace&)>& edit);
    void add();
    void removeSelected();
    void done();

    QPointer<Accounts> a_;
    QPointer<Settings> s_;
    QPointer<SignIn> signIn_;
    std::function<void()> onChange_;
    std::function<void()> onSignOut_;

    std::optional<QUuid> selected_;
    bool legacyOpen_ = false;
    QString key_;
    std::optional<QUuid> keyOwner_; // the server the key field was loaded for
    bool keyEdited_ = false;
    QHash<QUuid, QString> test_;
    bool testing_ = false;
    bool trackWorkday_ = false;

    QWidget* content_ = nullptr; // the scrolled column
    QWidget* account_ = nullptr;
    QString accountShown_;

    QWidget* legacy_ = nullptr;
    QToolButton* legacyToggle_ = nullptr;
    QWidget* legacyBody_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* minus_ = nullptr;
    QWidget* form_ = nullptr;
    QLabel* noSelection_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* server_ = nullptr;
    QLineEdit* keyField_ = nullptr;
    QPushButton* testButton_ = nullptr;
    QLabel* result_ = nullptr;

    struct Toggle {
        QCheckBox* box;
        std::function<bool()> value;
        std::function<void(bool)> set;
        std::function<bool()> enabled;
    };
    std::vector<Toggle> toggles_;
    QWidget* pickerRow_ = nullptr;
    QComboBox* picker_ = nullptr;
    QString pickerShown_;
    QTimeEdit* wrapTime_ = nullptr;
    QSpinBox* breakStep_ = nullptr;
    QTimeEdit* workoutTime_ = nullptr;
};
