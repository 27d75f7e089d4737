#include "ui/SettingsView.h"

#include "core/APIError.h"
#include "core/API.h"
#include "core/Log.h"
#include "core/Net.h"
#include "core/Accounts.h"
#include "core/Address.h"
#include "core/Settings.h"
#include "core/SignIn.h"
#include "core/Workspace.h"
#include "platform/Wording.h"
#include "ui/Spinner.h"
#include "ui/SystemLook.h"
#include "ui/WebPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimeZone>
#include <QToolButton>
#include <QVBoxLayout>

using SystemLook::Style;

namespace {

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// A button drawn as a link, in the link colour of the window it is shown in,
// read at each paint so that it follows the scheme.
class LinkButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    QSize sizeHint() const override
    {
        const QFontMetrics fm(font());
        return {fm.horizontalAdvance(text()) + 2, fm.height() + 2};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setFont(font());
        const QPalette& pal = parentWidget() ? parentWidget()->palette() : palette();
        p.setPen(isEnabled() ? pal.color(QPalette::Link) : pal.color(QPalette::Disabled, QPalette::WindowText));
        p.drawText(rect().adjusted(1, 1, -1, -1), Qt::AlignLeft | Qt::AlignVCenter, text());
        if (hasFocus()) { // keyboard focus: an underline in the same colour
            const QFontMetrics fm(font());
            const int y = (height() + fm.ascent()) / 2 + 1;
            p.drawLine(1, y, 1 + fm.horizontalAdvance(text()), y);
        }
    }
};

QPushButton* link(const QString& text, bool small = false)
{
    auto* b = new LinkButton(text);
    b->setFlat(true);
    b->setAutoDefault(false);
    b->setCursor(Qt::PointingHandCursor);
    b->setFont(SystemLook::font(small ? Style::caption : Style::body));
    return b;
}

QPushButton* button(const QString& text, bool small = false)
{
    auto* b = new QPushButton(text);
    b->setAutoDefault(false);
    if (small)
        b->setFont(SystemLook::font(Style::caption));
    return b;
}

QFrame* divider()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QHBoxLayout* row(QWidget* into, QBoxLayout* parent, int spacing = -1)
{
    auto* widget = into ? into : new QWidget;
    auto* h = new QHBoxLayout(widget);
    h->setContentsMargins(0, 0, 0, 0);
    if (spacing >= 0)
        h->setSpacing(spacing);
    parent->addWidget(widget);
    return h;
}

QLabel* secondaryLabel(const QString& text, Style style = Style::body)
{
    auto* l = SystemLook::label(text, style);
    SystemLook::secondary(l);
    return l;
}

QLabel* wrapped(QLabel* l)
{
    SystemLook::wrap(l);
    return l;
}

// The project list's backdrop: the text colour at 5 %, rounded.
class Tray : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor c = palette().color(QPalette::WindowText);
        c.setAlphaF(0.05);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(rect(), 6, 6);
    }
};

void clear(QLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* w = item->widget())
            delete w;
        else if (QLayout* l = item->layout())
            clear(l);
        delete item;
    }
}

// The usual desktop rule for fields inside a scrolled page: a wheel over a
// field that does not have the focus scrolls the page and leaves the value.
class WheelGuard : public QObject {
public:
    using QObject::QObject;

    void guard(QWidget* field)
    {
        field->setFocusPolicy(Qt::StrongFocus);
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel && !static_cast<QWidget*>(watched)->hasFocus()) {
            // Ignored and filtered: it goes on to the page behind the field.
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

QTime timeOf(int minute)
{
    return Settings::dateFromMinute(minute).toTimeZone(QTimeZone::systemTimeZone()).time();
}

int minuteOf(const QTime& time)
{
    return Settings::minuteFrom(QDateTime(QDate::currentDate(), time));
}

QTimeEdit* timePicker()
{
    auto* t = new QTimeEdit;
    t->setDisplayFormat(QStringLiteral("HH:mm"));
    t->setFixedWidth(110);
    return t;
}

// Keys reach only https servers, or plain http on this computer.
bool safeForKey(const Workspace& ws)
{
    const auto url = Url::parse(ws.base());
    return !url || url->scheme().toLower() != u"http" || ws.isLocal();
}

} // namespace

SettingsView::SettingsView(Accounts& accounts, SignIn& signIn, std::function<void()> onChange,
                           std::function<void()> onSignOut, QWidget* parent)
    : QWidget(parent)
    , a_(&accounts)
    , s_(&accounts.settings())
    , signIn_(&signIn)
    , onChange_(std::move(onChange))
    , onSignOut_(std::move(onSignOut))
{
    const Settings& settings = accounts.settings();
    if (!settings.workspaces().empty())
        selected_ = settings.workspaces().front().id;
    if (!accounts.signedIn()) {
        for (const auto& [ws, api] : accounts.connected()) {
            if (!ws.isProject() && !ws.isLocal()) {
                legacyOpen_ = true;
                break;
            }
        }
    }
    trackWorkday_ = settings.trackWorkday();

    setFixedSize(sizeHint());
    setAutoFillBackground(true); // a window of its own: its own background
    SystemLook::follow(this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    content_ = new QWidget;
    auto* content = content_;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 6, 0);
    stack->setSpacing(14);
    stack->setAlignment(Qt::AlignTop);
    account_ = new QWidget;
    auto* accountBox = new QVBoxLayout(account_);
    accountBox->setContentsMargins(0, 0, 0, 0);
    accountBox->setSpacing(8);
    stack->addWidget(account_);
    legacy_ = buildLegacy();
    stack->addWidget(legacy_);
    stack->addWidget(divider());
    stack->addWidget(buildOptions());
    stack->addStretch(1);
    scroll->setWidget(content);
    column->addWidget(scroll, 1);

    auto* footer = new QHBoxLayout;
    // The desktop's key names are longer than the Mac's glyphs: let it wrap.
    footer->addWidget(wrapped(secondaryLabel(Wording::shown(QStringLiteral(
                                                 "Shortcuts: \u2325\u2318R kick in / wrap up \u00B7 \u2325\u2318P "
                                                 "pin \u00B7 hold \u2325\u2318Space to speak")),
                                             Style::caption)),
                      1);
    auto* done = new QPushButton(QStringLiteral("Done"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &SettingsView::done);
    footer->addWidget(done);
    column->addLayout(footer);

    connect(&settings, &Settings::changed, this, [this] {
        refresh();
        // Whoever changed it: the owner starts or stops the work-day record.
        if (s_ && s_->trackWorkday() != trackWorkday_) {
            trackWorkday_ = s_->trackWorkday();
            if (onChange_)
                onChange_();
        }
    });
    connect(&signIn, &SignIn::phaseChanged, this, &SettingsView::refresh);
    loadKey();
    refresh();
}

SettingsView::~SettingsView()
{
    // A view replaced in its window still stores the key being typed.
    commitKey();
}

// --- Account -----------------------------------------------------------------

void SettingsView::refresh()
{
    if (!s_ || !signIn_)
        return;
    refreshAccount();
    refreshLegacy();
    refreshOptions();
    SystemLook::relayout(content_);
}

void SettingsView::refreshAccount()
{
    Settings& s = *s_;
    const SignIn::Phase& phase = signIn_->phase();
    // Rebuilt only when something it shows changed, so focus and selection stay.
    QStringList shown{a_->signedIn() ? QStringLiteral("in") : QStringLiteral("out"),
                      s.accountEmail().value_or(""),
                      s.accountName().value_or("\x01"),
                      s.accountError().value_or("\x01"),
                      s.platformBase(),
                      QString::number(int(phase.kind)),
                      phase.code,
                      phase.url ? phase.url->text() : QString(),
                      phase.message};
    for (const Workspace& p : s.projects())
        shown << idText(p.id) << p.name << p.seat.value_or("\x01") << p.server;
    const QString signature = shown.join(QChar(0));
    if (signature == accountShown_)
        return;
    accountShown_ = signature;

    auto* box = static_cast<QVBoxLayout*>(account_->layout());
    clear(box);
    box->addWidget(SystemLook::label(QStringLiteral("Account"), Style::headline));
    if (a_->signedIn())
        fillSignedIn(box);
    else
        fillSignedOut(box);
}

void SettingsView::fillSignedIn(QVBoxLayout* box)
{
    Settings& s = *s_;
    auto* who = row(nullptr, box, 6);
    auto* email = SystemLook::label(QStringLiteral("Signed in as ") + s.accountEmail().value_or(QString()));
    email->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    who->addWidget(email);
    who->addWidget(secondaryLabel(QStringLiteral("\u00B7")));
    auto* signOut = link(QStringLiteral("Sign out"));
    connect(signOut, &QPushButton::clicked, this, [this] {
        if (onSignOut_)
            onSignOut_();
    });
    who->addWidget(signOut);
    who->addStretch(1);
    auto* refreshButton = button(QStringLiteral("Refresh"), true);
    connect(refreshButton, &QPushButton::clicked, this, [this] {
        if (onChange_)
            onChange_();
    });
    who->addWidget(refreshButton);

    if (s.accountName())
        box->addWidget(secondaryLabel(*s.accountName(), Style::caption));
    if (s.accountError()) {
        auto* error = wrapped(SystemLook::label(*s.accountError(), Style::caption));
        SystemLook::tint(error, SystemLook::red());
        box->addWidget(error);
    }
    if (s.projects().empty()) {
        auto* none = row(nullptr, box);
        none->addWidget(secondaryLabel(QStringLiteral("No project yet.")));
        auto* create = link(QStringLiteral("Create or join one\u2026"));
        connect(create, &QPushButton::clicked, this, [this] {
            if (!s_)
                return;
            if (const auto url = Url::parse(s_->platformAddress() + QStringLiteral("/app/start"));
                url && url->hasScheme())
                WebPage::open(*url);
        });
        none->addWidget(create);
        none->addStretch(1);
        return;
    }
    auto* tray = new Tray;
    auto* list = new QVBoxLayout(tray);
    list->setContentsMargins(8, 8, 8, 8);
    list->setSpacing(3);
    for (const Workspace& project : s.projects()) {
        auto* r = row(nullptr, list);
        r->addWidget(SystemLook::label(project.name));
        if (project.seat)
            r->addWidget(secondaryLabel(*project.seat, Style::caption));
        r->addStretch(1);
        auto* open = link(QStringLiteral("Open board"), true);
        connect(open, &QPushButton::clicked, this, [project] {
            if (const auto url = project.link(QStringLiteral("board")))
                WebPage::open(*url);
        });
        r->addWidget(open);
    }
    box->addWidget(tray);
}

void SettingsView::fillSignedOut(QVBoxLayout* box)
{
    Settings& s = *s_;
    const SignIn::Phase& phase = signIn_->phase();
    using Kind = SignIn::Phase::Kind;
    switch (phase.kind) {
    case Kind::waiting: {
        box->addWidget(secondaryLabel(QStringLiteral("Approve this code in your browser:")));
        auto* codeRow = row(nullptr, box, 12);
        auto* code = SystemLook::label(phase.code);
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPixelSize(26);
        mono.setBold(true);
        code->setFont(mono);
        code->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        codeRow->addWidget(code);
        auto* copy = button(QStringLiteral("Copy"), true);
        connect(copy, &QPushButton::clicked, this, [text = phase.code] { QApplication::clipboard()->setText(text); });
        codeRow->addWidget(copy);
        codeRow->addStretch(1);
        codeRow->addWidget(new Spinner(16));
        QString host = phase.url && phase.url->host() && !phase.url->host()->isEmpty() ? *phase.url->host() : QString();
        if (host.isEmpty())
            host = Url::parse(Address::defaultBase)->host().value_or(QString());
        box->addWidget(wrapped(
            secondaryLabel(QStringLiteral("A page on ") + host
                               + QStringLiteral(
                                   " opened. Sign in there with your email, check that it shows the same code, then "
                                   "click Approve. This window updates by itself."),
                           Style::caption)));
        auto* actions = row(nullptr, box);
        auto* again = button(QStringLiteral("Open the page again"));
        connect(again, &QPushButton::clicked, this, [this] {
            if (signIn_)
                signIn_->reopen();
        });
        actions->addWidget(again);
        auto* cancel = button(QStringLiteral("Cancel"));
        connect(cancel, &QPushButton::clicked, this, [this] {
            if (signIn_)
                signIn_->cancel();
        });
        actions->addWidget(cancel);
        actions->addStretch(1);
        break;
    }
    case Kind::starting:
    case Kind::finishing: {
        auto* busy = row(nullptr, box);
        busy->addWidget(new Spinner(16));
        busy->addWidget(secondaryLabel(phase.kind == Kind::starting ? QStringLiteral("Getting a code\u2026")
                                                                    : QStringLiteral("Signing in\u2026")));
        busy->addStretch(1);
        break;
    }
    case Kind::idle:
    case Kind::failed: {
        auto* start = row(nullptr, box);
        auto* signInButton = button(QStringLiteral("Sign in to Zelvan"));
        QFont large = SystemLook::font(Style::body);
        large.setPixelSize(15);
        signInButton->setFont(large);
        signInButton->setMinimumHeight(32);
        connect(signInButton, &QPushButton::clicked, this, [this] {
            if (signIn_ && a_)
                signIn_->begin(*a_);
        });
        start->addWidget(signInButton);
        start->addStretch(1);
        box->addWidget(wrapped(secondaryLabel(QStringLiteral("Sign in with your email in the browser \u2014 no keys to "
                                                             "paste. Your projects then show up here."),
                                              Style::caption)));
        break;
    }
    }
    if (phase.kind == Kind::failed) {
        auto* message = wrapped(SystemLook::label(phase.message, Style::caption));
        SystemLook::tint(message, SystemLook::red());
        box->addWidget(message);
    }
    if (s.platformBase() != Address::defaultBase) {
        auto* server = SystemLook::label(QStringLiteral("Server: ") + s.platformBase() + QStringLiteral(" (testing)"),
                                         Style::caption);
        SystemLook::tint(server, SystemLook::orange());
        box->addWidget(server);
    }
}

// --- Key handling --------------------------------------------------------------

std::optional<Workspace> SettingsView::selectedWorkspace() const
{
    if (!s_ || !selected_)
        return std::nullopt;
    for (const Workspace& ws : s_->workspaces())
        if (ws.id == *selected_)
            return ws;
    return std::nullopt;
}

void SettingsView::loadKey()
{
    const auto ws = selectedWorkspace();
    keyOwner_ = ws ? std::optional(ws->id) : std::nullopt;
    key_ = ws && s_ ? a_->keyFor(*ws) : QString();
    keyEdited_ = false;
    if (keyField_ && keyField_->text() != key_)
        keyField_->setText(key_);
}

void SettingsView::commitKey()
{
    // One keyring write per edit, for the server the field was loaded for.
    if (!keyEdited_ || !s_ || !keyOwner_)
        return;
    keyEdited_ = false;
    for (const Workspace& ws : s_->workspaces()) {
        if (ws.id == *keyOwner_) {
            a_->setKey(key_, ws);
            return;
        }
    }
}

void SettingsView::select(const std::optional<QUuid>& id)
{
    if (id == selected_)
        return;
    commitKey();
    selected_ = id;
    loadKey();
    refresh();
}

std::optional<QString> SettingsView::testResult(const QUuid& id) const
{
    const auto it = test_.constFind(id);
    if (it == test_.constEnd())
        return std::nullopt;
    return *it;
}

// --- Legacy servers --------------------------------------------------------------

QWidget* SettingsView::buildLegacy()
{
    auto* section = new QWidget;
    auto* v = new QVBoxLayout(section);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    legacyToggle_ = new QToolButton;
    legacyToggle_->setText(QStringLiteral("Advanced: legacy servers"));
    legacyToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    legacyToggle_->setAutoRaise(true);

    legacyToggle_->setFont(SystemLook::font(Style::subheadline));
    legacyToggle_->setForegroundRole(QPalette::PlaceholderText);
    QPalette tp = legacyToggle_->palette();
    tp.setColor(QPalette::ButtonText, tp.color(QPalette::PlaceholderText));
    legacyToggle_->setPalette(tp);
    connect(legacyToggle_, &QToolButton::clicked, this, [this] {
        legacyOpen_ = !legacyOpen_;
        refresh();
    });
    v->addWidget(legacyToggle_, 0, Qt::AlignLeft);

    legacyBody_ = new QWidget;
    auto* body = new QVBoxLayout(legacyBody_);
    body->setContentsMargins(0, 4, 0, 0);
    body->setSpacing(6);
    body->addWidget(
        wrapped(secondaryLabel(Wording::shown(QStringLiteral(
                                   "The old per-workspace servers, with the key from the workspace (Settings \u203A "
                                   "Connect an app). Used only until your account has projects.")),
                               Style::caption)));
    auto* columns = new QHBoxLayout;
    columns->setSpacing(12);
    body->addLayout(columns);

    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    list_ = new QListWidget;
    list_->setFixedSize(170, 130);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item)
            select(QUuid(item->data(Qt::UserRole).toString()));
    });
    left->addWidget(list_);
    auto* buttons = new QHBoxLayout;
    auto* plus = button(QStringLiteral("+"));
    connect(plus, &QPushButton::clicked, this, &SettingsView::add);
    buttons->addWidget(plus);
    minus_ = button(QStringLiteral("\u2212"));
    connect(minus_, &QPushButton::clicked, this, &SettingsView::removeSelected);
    buttons->addWidget(minus_);
    buttons->addStretch(1);
    left->addLayout(buttons);
    columns->addLayout(left);

    form_ = new QWidget;
    auto* form = new QFormLayout(form_);
    form->setContentsMargins(0, 0, 0, 0);
    name_ = new QLineEdit;
    connect(name_, &QLineEdit::textEdited, this,
            [this](const QString& text) { editSelected([&](Workspace& ws) { ws.name = text; }); });
    form->addRow(QStringLiteral("Name"), name_);
    server_ = new QLineEdit;
    connect(server_, &QLineEdit::textEdited, this,
            [this](const QString& text) { editSelected([&](Workspace& ws) { ws.server = text; }); });
    form->addRow(QStringLiteral("Server"), server_);
    keyField_ = new QLineEdit;
    keyField_->setEchoMode(QLineEdit::Password);
    connect(keyField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        key_ = text;
        keyEdited_ = true;
    });
    connect(keyField_, &QLineEdit::editingFinished, this, &SettingsView::commitKey);
    form->addRow(QStringLiteral("Key"), keyField_);
    testButton_ = button(QStringLiteral("Test"));
    connect(testButton_, &QPushButton::clicked, this, [this] {
        if (selected_)
            runTest(*selected_);
    });
    testButton_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    form->addRow(QString(), testButton_);
    result_ = SystemLook::label({}, Style::caption);
    SystemLook::wrap(result_);
    form->addRow(QString(), result_);
    columns->addWidget(form_, 1, Qt::AlignTop);

    noSelection_ = secondaryLabel(QStringLiteral("Select a server"));
    noSelection_->setAlignment(Qt::AlignCenter);
    noSelection_->setMinimumHeight(130);
    columns->addWidget(noSelection_, 1);

    v->addWidget(legacyBody_);
    return section;
}

void SettingsView::refreshLegacy()
{
    Settings& s = *s_;
    legacy_->setVisible(a_->showLegacy());
    legacyToggle_->setArrowType(legacyOpen_ ? Qt::DownArrow : Qt::RightArrow);
    legacyBody_->setVisible(legacyOpen_);

    const auto& list = s.workspaces();
    bool same = list_->count() == int(list.size());
    for (int i = 0; same && i < list_->count(); ++i)
        same = list_->item(i)->data(Qt::UserRole).toString() == list[i].id.toString();
    const QSignalBlocker block(list_);
    if (!same) {
        list_->clear();
        for (const Workspace& ws : list) {
            auto* item = new QListWidgetItem(list_);
            item->setData(Qt::UserRole, ws.id.toString());
        }
    }
    const auto ws = selectedWorkspace();
    for (int i = 0; i < list_->count(); ++i) {
        const QString name = list[i].name.isEmpty() ? QStringLiteral("Untitled") : list[i].name;
        if (list_->item(i)->text() != name)
            list_->item(i)->setText(name);
        if (ws && list[i].id == ws->id && list_->currentRow() != i)
            list_->setCurrentRow(i);
    }
    if (!ws)
        list_->setCurrentRow(-1);

    minus_->setEnabled(ws.has_value());
    form_->setVisible(ws.has_value());
    noSelection_->setVisible(!ws);
    if (!ws)
        return;
    // Only when they differ, so typing keeps its cursor.
    if (name_->text() != ws->name)
        name_->setText(ws->name);
    if (server_->text() != ws->server)
        server_->setText(ws->server);
    testButton_->setText(testing_ ? QStringLiteral("Testing\u2026") : QStringLiteral("Test"));
    testButton_->setEnabled(!testing_);
    const auto line = testResult(ws->id);
    result_->setVisible(line.has_value());
    result_->setText(line.value_or(QString()));
    SystemLook::tint(result_, line && line->startsWith(QChar(0x2713)) ? SystemLook::green() : SystemLook::red());
}

void SettingsView::editSelected(const std::function<void(Workspace&)>& edit)
{
    // By id: a list changed meanwhile never takes the edit into another server.
    if (!s_ || !selected_)
        return;
    auto list = s_->workspaces();
    for (Workspace& ws : list) {
        if (ws.id == *selected_) {
            edit(ws);
            s_->setWorkspaces(list);
            return;
        }
    }
}

void SettingsView::add()
{
    if (!s_)
        return;
    commitKey();
    Workspace ws(QStringLiteral("New workspace"), QStringLiteral("https://"));
    auto list = s_->workspaces();
    list.push_back(ws);
    s_->setWorkspaces(list);
    select(ws.id);
}

void SettingsView::removeSelected()
{
    const auto ws = selectedWorkspace();
    if (!ws || !s_)
        return;
    if (keyOwner_ == ws->id)
        keyEdited_ = false;
    commitKey();
    a_->remove(*ws);
    // Its display name goes with it.
    auto names = s_->names();
    if (names.remove(idText(ws->id)))
        s_->setNames(names);
    test_.remove(ws->id);
    const auto& left = s_->workspaces();
    select(left.empty() ? std::nullopt : std::optional(left.front().id));
    refresh();
    if (onChange_)
        onChange_();
}

void SettingsView::runTest(const QUuid& id)
{
    if (!s_)
        return;
    std::optional<Workspace> ws;
    for (const Workspace& w : s_->workspaces())
        if (w.id == id)
            ws = w;
    if (!ws)
        return;
    if (!safeForKey(*ws)) {
        test_.insert(id,
                     QStringLiteral("\u2717 Not sent: plain http would show the key to the network. Use https, "
                                    "or plain http only for a server on this computer."));
        refresh();
        emit testFinished();
        return;
    }
    const QString key = keyOwner_ == id ? key_.trimmed() : a_->keyFor(*ws);
    const API api(ws->base(), key);
    testing_ = true;
    refresh();
    QPointer<SettingsView> self(this);
    Net::pool().start([self, api, id] {
        std::optional<QString> name;
        QString error;
        try {
            name = api.me();
        } catch (const APIError& e) {
            error = e.description();
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, id, name, error] {
                if (!self)
                    return;
                if (name && self->s_) {
                    auto names = self->s_->names();
                    names.insert(idText(id), *name);
                    self->s_->setNames(names);
                    self->test_.insert(id, QStringLiteral("\u2713 Connected as ") + *name);
                    if (self->onChange_)
                        self->onChange_();
                } else {
                    self->test_.insert(id, QStringLiteral("\u2717 ") + error);
                }
                self->testing_ = false;
                self->refresh();
                emit self->testFinished();
            },
            Qt::QueuedConnection);
    });
}

// --- Options -----------------------------------------------------------------

QWidget* SettingsView::buildOptions()
{
    auto* section = new QWidget;
    auto* v = new QVBoxLayout(section);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(10);
    Settings* s = s_;

    const auto toggle = [&](const QString& text, std::function<bool()> value, std::function<void(bool)> set,
                            std::function<bool()> enabled = {}) {
        auto* box = new QCheckBox(Wording::shown(text));
        connect(box, &QCheckBox::toggled, this, [set](bool on) { set(on); });
        toggles_.push_back({box, std::move(value), std::move(set), std::move(enabled)});
        return box;
    };
    const auto headline = [&](const QString& text) { v->addWidget(SystemLook::label(text, Style::headline)); };

    headline(QStringLiteral("Sessions & calls"));
    v->addWidget(toggle(
        QStringLiteral("Offer to kick in when a call starts"), [s] { return s->offerCalls(); },
        [s](bool on) { s->setOfferCalls(on); }));
    v->addWidget(toggle(
        QStringLiteral("Kick in on calls automatically (a panel always shows that it is recording)"),
        [s] { return s->autoRecordCalls(); }, [s](bool on) { s->setAutoRecordCalls(on); },
        [s] { return s->offerCalls(); }));
    v->addWidget(toggle(
        QStringLiteral("Live tips while Zelvan is active (from the project, about what is on screen)"),
        [s] { return s->liveTips(); }, [s](bool on) { s->setLiveTips(on); }));
    v->addWidget(toggle(
        QStringLiteral("Auto-pin slide and page changes (at most one every 2 min)"), [s] { return s->autoPin(); },
        [s](bool on) { s->setAutoPin(on); }));
    v->addWidget(toggle(
        QStringLiteral("Show what Zelvan hears while active (on this Mac only, nothing stored)"),
        [s] { return s->liveHearing(); }, [s](bool on) { s->setLiveHearing(on); }));
    v->addWidget(toggle(
        QStringLiteral("File clear team calls without asking (90%+ and people from that project on the call)"),
        [s] { return s->autoFileTeamCalls(); }, [s](bool on) { s->setAutoFileTeamCalls(on); },
        [a = a_] { return a && a->signedIn(); }));
    v->addWidget(wrapped(secondaryLabel(
        QStringLiteral("After each session Zelvan asks where it goes, with its suggestion preselected. Work sessions "
                       "suggest Personal (only you see it); no answer in 2 minutes keeps it in Personal."),
        Style::caption)));
    v->addWidget(divider());

    headline(QStringLiteral("Work day"));
    v->addWidget(toggle(
        QStringLiteral("Track my work day (frontmost app, idle time skipped)"), [s] { return s->trackWorkday(); },
        [s](bool on) { s->setTrackWorkday(on); }));
    v->addWidget(toggle(
        QStringLiteral("Include window titles"), [s] { return s->includeTitles(); },
        [s](bool on) { s->setIncludeTitles(on); }, [s] { return s->trackWorkday(); }));
    pickerRow_ = new QWidget;
    auto* picker = row(pickerRow_, v);
    picker->addWidget(SystemLook::label(QStringLiteral("Work day and End my day go to")));
    picker_ = new QComboBox;
    picker->addWidget(picker_, 1);
    pickerRow_->setMaximumWidth(380);
    connect(picker_, &QComboBox::activated, this, [this](int index) {
        if (!s_)
            return;
        s_->setWorkdaySlug(picker_->itemData(index).toString());
        if (onChange_)
            onChange_();
    });

    const auto timed = [&](QCheckBox* box, QTimeEdit* time, void (Settings::*set)(int)) {
        auto* r = row(nullptr, v);
        r->addWidget(box);
        r->addWidget(time);
        r->addStretch(1);
        connect(time, &QTimeEdit::timeChanged, this, [this, set](const QTime& t) {
            if (s_)
                (s_.data()->*set)(minuteOf(t));
        });
    };
    wrapTime_ = timePicker();
    timed(toggle(
              QStringLiteral("End my day reminder at"), [s] { return s->wrapOn(); }, [s](bool on) { s->setWrapOn(on); }),
          wrapTime_, &Settings::setWrapMinute);
    v->addWidget(divider());

    headline(QStringLiteral("Coach"));
    auto* breakRow = row(nullptr, v);
    breakRow->addWidget(toggle(
        QStringLiteral("Break reminders after"), [s] { return s->breakReminders(); },
        [s](bool on) { s->setBreakReminders(on); }));
    breakStep_ = new QSpinBox;
    breakStep_->setRange(20, 120);
    breakStep_->setSingleStep(5);
    breakStep_->setSuffix(QStringLiteral(" min of activity"));
    // A stepper: the arrows move it, typing does not.
    breakStep_->findChild<QLineEdit*>()->setReadOnly(true);
    connect(breakStep_, &QSpinBox::valueChanged, this, [this](int minutes) {
        if (s_)
            s_->setBreakMinutes(minutes);
    });
    breakRow->addWidget(breakStep_);
    breakRow->addStretch(1);
    workoutTime_ = timePicker();
    timed(toggle(
              QStringLiteral("Workout reminder at"), [s] { return s->workoutOn(); },
              [s](bool on) { s->setWorkoutOn(on); }),
          workoutTime_, &Settings::setWorkoutMinute);
    auto* wheel = new WheelGuard(section);
    for (QWidget* field : std::initializer_list<QWidget*>{picker_, wrapTime_, breakStep_, workoutTime_})
        wheel->guard(field);
    return section;
}

void SettingsView::refreshOptions()
{
    Settings& s = *s_;
    for (const Toggle& t : toggles_) {
        const QSignalBlocker block(t.box);
        t.box->setChecked(t.value());
        t.box->setEnabled(!t.enabled || t.enabled());
    }

    const bool picking = a_->projectMode() && s.projects().size() > 1;
    pickerRow_->setVisible(picking);
    if (picking) {
        const QSignalBlocker block(picker_);
        QStringList shown;
        for (const Workspace& p : s.projects())
            shown << idText(p.id) << p.name << p.slug.value_or(QString());
        if (shown.join(QChar(0)) != pickerShown_) {
            pickerShown_ = shown.join(QChar(0));
            picker_->clear();
            for (const Workspace& p : s.projects())
                picker_->addItem(p.name, p.slug.value_or(QString()));
        }
        const auto home = a_->home();
        picker_->setCurrentIndex(picker_->findData(home ? home->slug.value_or(QString()) : QString()));
    }

    const auto setTime = [](QTimeEdit* edit, int minute, bool enabled) {
        const QSignalBlocker block(edit);
        if (edit->time() != timeOf(minute))
            edit->setTime(timeOf(minute));
        edit->setEnabled(enabled);
    };
    setTime(wrapTime_, s.wrapMinute(), s.wrapOn());
    setTime(workoutTime_, s.workoutMinute(), s.workoutOn());
    const QSignalBlocker block(breakStep_);
    breakStep_->setValue(s.breakMinutes());
    breakStep_->setEnabled(s.breakReminders());
}

// --- Closing -----------------------------------------------------------------

void SettingsView::done()
{
    commitKey();
    // This view's own window, not whichever window has the focus.
    window()->close();
}

void SettingsView::keyPressEvent(QKeyEvent* event)
{
    // "Done" is the window's default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        done();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsView::hideEvent(QHideEvent* event)
{
    // The window closing ends the edit.
    commitKey();
    QWidget::hideEvent(event);
}
