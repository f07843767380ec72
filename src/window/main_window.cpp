#include "window/main_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QUrl>
#include <tuple>
#include <utility>

#include "config/profile_store.h"
#include "config/settings_table.h"
#include "monitor/monitor_rules.h"
#include "notify/event_log.h"
#include "notify/mail_sender.h"
#include "notify/notification_texts.h"
#include "platform/folder.h"
#include "platform/kept_file.h"
#include "platform/off_thread.h"
#include "platform/path_walk.h"
#include "platform/strict_modes.h"
#include "platform/text_conv.h"
#include "window/caption_table.h"
#include "window/asterisk_password_style.h"
#include "window/busy_button.h"
#include "window/clickable_label.h"
#include "window/frame_style.h"
#include "window/lazy_tool_tip.h"
#include "window/message_box_prompt.h"
#include "window/readout_label.h"
#include "window/support_document.h"
#include "window/window_fonts.h"

namespace tarvesk {
namespace {

constexpr char kResetIIS[] = "Reset IIS";
constexpr char kResetComputer[] = "Reset Computer";
constexpr char kAbortMonitor[] = "Abort Monitor";
constexpr char kSendEmail[] = "Send Email";
constexpr char kStartFailed[] = "Start failed: ";
constexpr char kRebootNotPersisted[] = "Not started: the run status could not be saved.";

QString IniName() { return QString::fromLatin1(ini::kIniFileName); }
QByteArray IniEntry() { return QByteArray(ini::kIniFileName); }

// Positions are kept in twips, as the layout was drawn; 15 twips make a pixel.
int px(int twips) { return (twips + 7) / 15; }

template <typename W>
W* place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(px(left), px(top), px(width), px(height));
    return widget;
}

// Row tops inside a group: the first at 360, then every 360 twips.
int row(int n) { return 360 * n; }

// Common column geometry.
constexpr int kCaptionLeft = 120;
constexpr int kCaptionWidth = 2130;
constexpr int kFieldLeft = 2280;
constexpr int kWideFieldWidth = 3360;
constexpr int kThresholdLeft = 3720;
constexpr int kThresholdWidth = 375;
constexpr int kTrailingLeft = 4140;
constexpr int kTrailingWidth = 2955;
constexpr int kButtonLeft = 5760;
constexpr int kButtonWidth = 1335;
constexpr int kLabelHeight = 255;
constexpr int kFieldHeight = 300;
constexpr int kButtonHeight = 330;
constexpr int kCheckSize = 255;

}  // namespace

MainWindow::MainWindow(Services services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)), m_timer1(this) {
    setObjectName(QStringLiteral("MainWindow"));
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    if (auto* boxes = dynamic_cast<MessageBoxPrompt*>(m_services.prompt.get())) boxes->setParent(this);
    buildControls();
    wireHandlers();
    setTabOrder();
    Form_Load();
    if (cmdStartMonitor->isEnabled()) cmdStartMonitor->setFocus();
}

MainWindow::~MainWindow() = default;

// ---------------------------------------------------------------------------
// Controls

void MainWindow::buildControls() {
    setWindowTitle(QStringLiteral("Tarvesk & Auto Reset"));
    setFont(BaseFont());
    setFixedSize(px(7470), px(8550));

    const QFont plain = ControlFont(false);
    const QFont bold = ControlFont(true);
    auto label = [&](QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                     Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        auto* l = place(new QLabel(QString::fromUtf8(caption), parent), name, left, top, width, kLabelHeight);
        l->setFont(plain);
        l->setAlignment(align);
        return l;
    };
    auto readout = [&](const char* name, int left, int top, int width) {
        auto* l = place(new ReadoutLabel(Frame2), name, left, top, width, kLabelHeight);
        l->setFont(plain);
        return l;
    };
    auto edit = [&](QWidget* parent, const char* name, const char* text, int left, int top, int width) {
        auto* e = place(new QLineEdit(QString::fromUtf8(text), parent), name, left, top - 15, width,
                        kFieldHeight);
        e->setFont(plain);
        return e;
    };
    auto button = [&](QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                      int height) {
        auto* b = place(new QPushButton(QString::fromUtf8(caption), parent), name, left, top, width, height);
        b->setFont(plain);
        b->setAutoDefault(false);
        return b;
    };
    auto check = [&](QWidget* parent, const char* name, int left, int top) {
        // Bare boxes: the text beside each is a separate label that does not
        // toggle it.
        return place(new QCheckBox(parent), name, left, top, kCheckSize + 60, kLabelHeight);
    };
    // Etched frames; see FrameStyle.
    QStyle* frameStyle = new FrameStyle;
    frameStyle->setParent(this);
    auto group = [&](const char* name, const char* caption, int top, int height) {
        auto* g = place(new QGroupBox(QString::fromUtf8(caption), this), name, 120, top, 7215, height);
        g->setFont(bold);
        if (frameStyle) g->setStyle(frameStyle);
        return g;
    };

    // Top strip.
    Option1 = place(new QRadioButton(QStringLiteral("English"), this), "Option1", 2400, 120, 1500, 285);
    Option1->setFont(OptionFont(false));
    Option2 = place(new QRadioButton(QStringLiteral("中文"), this), "Option2", 4280, 120, 1200, 285);
    Option2->setFont(OptionFont(true));
    lblSupport = place(new ClickableLabel(QStringLiteral("Techinical Support"), this), "lblSupport", 5760, 120,
                       1575, 285);
    lblSupport->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblSupport->setCursor(Qt::PointingHandCursor);

    // Settings - How to Monitor.
    Frame1 = group("Frame1", "Settings - How to Monitor", 480, 2895);
    label(Frame1, "Label1", "Page URL to Check:", kCaptionLeft, row(1), kCaptionWidth);
    txtPageURL = edit(Frame1, "txtPageURL", "http://localhost", kFieldLeft, row(1), kWideFieldWidth);
    cmdCheckPage = button(Frame1, "cmdCheckPage", "Try Check", kButtonLeft, row(1) - 30, kButtonWidth,
                          kButtonHeight);
    label(Frame1, "Label3", "Page Check Interval:", kCaptionLeft, row(2), kCaptionWidth);
    txtPageCheckInterval = edit(Frame1, "txtPageCheckInterval", "10", kFieldLeft, row(2), 615);
    label(Frame1, "Label4", "Seconds", kFieldLeft + 675, row(2), 1500);
    label(Frame1, "Label6", "IIS Reset Command:", kCaptionLeft, row(3), kCaptionWidth);
    txtIISResetCommand = edit(Frame1, "txtIISResetCommand", "iisreset /restart", kFieldLeft, row(3),
                              kWideFieldWidth);
    cmdIISReset = button(Frame1, "cmdIISReset", "Try Reset", kButtonLeft, row(3) - 30, kButtonWidth,
                         kButtonHeight);

    const int continuousLeft = kFieldLeft + kCheckSize + 60;
    const int continuousWidth = kThresholdLeft - 60 - continuousLeft;
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    label(Frame1, "Label11", "IIS Reset Trigger:", kCaptionLeft, row(4), kCaptionWidth);
    chkIISReset = check(Frame1, "chkIISReset", kFieldLeft, row(4));
    label(Frame1, "Label25", "Continuous", continuousLeft, row(4), continuousWidth, right);
    txtPageFailureThreshold = edit(Frame1, "txtPageFailureThreshold", "2", kThresholdLeft, row(4),
                                   kThresholdWidth);
    label(Frame1, "Label10", "Page Check failures", kTrailingLeft, row(4), kTrailingWidth);

    label(Frame1, "Label9", "Computer Reset Command:", kCaptionLeft, row(5), kCaptionWidth);
    txtComputerResetCommand = edit(Frame1, "txtComputerResetCommand", "shutdown.exe -r", kFieldLeft, row(5),
                                   kWideFieldWidth);
    cmdComputerReset = button(Frame1, "cmdComputerReset", "Try Reset ", kButtonLeft, row(5) - 30,
                              kButtonWidth, kButtonHeight);

    label(Frame1, "Label13", "Computer Reset Trigger:", kCaptionLeft, row(6), kCaptionWidth);
    chkComputerReset = check(Frame1, "chkComputerReset", kFieldLeft, row(6));
    label(Frame1, "Label26", "Continuous", continuousLeft, row(6), continuousWidth, right);
    txtIISResetThreshold = edit(Frame1, "txtIISResetThreshold", "2", kThresholdLeft, row(6), kThresholdWidth);
    label(Frame1, "Label12", "IIS Reset failures", kTrailingLeft, row(6), kTrailingWidth);

    label(Frame1, "Label8", "Abort Monitor Trigger:", kCaptionLeft, row(7), kCaptionWidth);
    chkAbortMonitor = check(Frame1, "chkAbortMonitor", kFieldLeft, row(7));
    label(Frame1, "Label27", "Continuous", continuousLeft, row(7), continuousWidth, right);
    txtComputerResetThreshold = edit(Frame1, "txtComputerResetThreshold", "2", kThresholdLeft, row(7),
                                     kThresholdWidth);
    label(Frame1, "Label15", "Computer Reset failures", kTrailingLeft, row(7), kTrailingWidth);

    // Settings - Email Notice.
    Frame3 = group("Frame3", "Settings - Email Notice", 3600, 2535);
    label(Frame3, "Label20", "Events to Notify:", kCaptionLeft, row(1), kCaptionWidth);
    const int notifyStep = 1620;
    chkNotifyIISReset = check(Frame3, "chkNotifyIISReset", kFieldLeft, row(1));
    label(Frame3, "Label21", "IIS Reset", kFieldLeft + kCheckSize + 45, row(1), notifyStep - kCheckSize - 60);
    chkNotifyComputerReset = check(Frame3, "chkNotifyComputerReset", kFieldLeft + notifyStep, row(1));
    label(Frame3, "Label22", "Computer Reset", kFieldLeft + notifyStep + kCheckSize + 45, row(1),
          notifyStep - kCheckSize - 60);
    chkNotifyAbortMonitor = check(Frame3, "chkNotifyAbortMonitor", kFieldLeft + 2 * notifyStep, row(1));
    label(Frame3, "Label23", "Abort Monitor", kFieldLeft + 2 * notifyStep + kCheckSize + 45, row(1),
          7095 - (kFieldLeft + 2 * notifyStep + kCheckSize + 45));
    label(Frame3, "Label16", "Email of Rceiver:", kCaptionLeft, row(2), kCaptionWidth);
    txtReceiverEmail = edit(Frame3, "txtReceiverEmail", "", kFieldLeft, row(2), kWideFieldWidth);
    label(Frame3, "Label17", "Email of Sender:", kCaptionLeft, row(3), kCaptionWidth);
    txtSenderEmail = edit(Frame3, "txtSenderEmail", "", kFieldLeft, row(3), kWideFieldWidth);
    cmdSendEmail = button(Frame3, "cmdSendEmail", "Try Send", kButtonLeft, row(3) - 30, kButtonWidth,
                          kButtonHeight);
    label(Frame3, "Label18", "SMTP Server of Sender:", kCaptionLeft, row(4), kCaptionWidth);
    txtSenderSMTP = edit(Frame3, "txtSenderSMTP", "", kFieldLeft, row(4), kWideFieldWidth);
    label(Frame3, "Label19", "Account of Sender:", kCaptionLeft, row(5), kCaptionWidth);
    txtSenderAccount = edit(Frame3, "txtSenderAccount", "", kFieldLeft, row(5), kWideFieldWidth);
    label(Frame3, "Label24", "Password of Sender:", kCaptionLeft, row(6), kCaptionWidth);
    txtSenderPassword = edit(Frame3, "txtSenderPassword", "", kFieldLeft, row(6), kWideFieldWidth);
    txtSenderPassword->setEchoMode(QLineEdit::Password);
    txtSenderPassword->setAttribute(Qt::WA_InputMethodEnabled, false);
    txtSenderPassword->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    auto* asterisks = new AsteriskPasswordStyle;
    asterisks->setParent(txtSenderPassword);
    txtSenderPassword->setStyle(asterisks);

    // Status - Monitor Actions.
    Frame2 = group("Frame2", "Status -Monitor Actions", 6360, 1455);
    const int valueLeft = 1920;
    const int rightCaptionLeft = 3720;
    const int rightValueLeft = 5760;
    label(Frame2, "Label5", "Time of Start Monitor:", kCaptionLeft, row(1), valueLeft - kCaptionLeft - 45);
    lblStartTime = readout("lblStartTime", valueLeft, row(1), rightCaptionLeft - valueLeft - 60);
    label(Frame2, "Label14", "Count of Page Check:", rightCaptionLeft, row(1), rightValueLeft - rightCaptionLeft - 45);
    lblPageCheckCount = readout("lblPageCheckCount", rightValueLeft, row(1), 7095 - rightValueLeft);
    label(Frame2, "Label2", "Count of IIS Reset:", kCaptionLeft, row(2), valueLeft - kCaptionLeft - 45);
    lblIISResetCount = readout("lblIISResetCount", valueLeft, row(2), rightCaptionLeft - valueLeft - 60);
    label(Frame2, "Label7", "Count of Computer Reset:", rightCaptionLeft, row(2),
          rightValueLeft - rightCaptionLeft - 45);
    lblComputerResetCount = readout("lblComputerResetCount", rightValueLeft, row(2), 7095 - rightValueLeft);
    lblStatus = label(Frame2, "lblStatus", "Ready to Start Monitor.", 120, row(3), 6975, Qt::AlignCenter);
    lblStatus->setFont(bold);
    new LazyToolTip(lblStatus, [this] { return lastCheckText(); });
    // Every check rewrites these. Plain text spares the rich-text sniffing,
    // and a label that fills its own background is repainted alone, without
    // the frame and its caption beneath it.
    for (QLabel* l : {lblStatus, lblPageCheckCount, lblIISResetCount, lblComputerResetCount}) {
        l->setTextFormat(Qt::PlainText);
        l->setAutoFillBackground(true);
    }

    // Button row.
    cmdSave = button(this, "cmdSave", "Save Settings", 1320, 8040, 1215, 375);
    cmdStartMonitor = button(this, "cmdStartMonitor", "Start Monitor", 3120, 8040, 1215, 375);
    cmdStopMonitor = button(this, "cmdStopMonitor", "Stop Monitor", 4920, 8040, 1215, 375);

    // Only the listed controls take the focus.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(w) || qobject_cast<QGroupBox*>(w)) w->setFocusPolicy(Qt::NoFocus);
    }

    // Each caption names the control beside it for assistive technology. None
    // holds a "&", so no caption gains a shortcut.
    const std::pair<const char*, QWidget*> buddies[] = {
        {"Label1", txtPageURL},           {"Label3", txtPageCheckInterval},
        {"Label6", txtIISResetCommand},   {"Label11", chkIISReset},
        {"Label10", txtPageFailureThreshold}, {"Label9", txtComputerResetCommand},
        {"Label13", chkComputerReset},    {"Label12", txtIISResetThreshold},
        {"Label8", chkAbortMonitor},      {"Label15", txtComputerResetThreshold},
        {"Label21", chkNotifyIISReset},   {"Label22", chkNotifyComputerReset},
        {"Label23", chkNotifyAbortMonitor}, {"Label16", txtReceiverEmail},
        {"Label17", txtSenderEmail},      {"Label18", txtSenderSMTP},
        {"Label19", txtSenderAccount},    {"Label24", txtSenderPassword},
        {"Label5", lblStartTime},         {"Label14", lblPageCheckCount},
        {"Label2", lblIISResetCount},     {"Label7", lblComputerResetCount},
    };
    for (const auto& [caption, control] : buddies) findChild<QLabel*>(QLatin1String(caption))->setBuddy(control);
    nameControls();
    // The trigger sentences carry the threshold.
    for (QLineEdit* e : {txtPageFailureThreshold, txtIISResetThreshold, txtComputerResetThreshold}) {
        connect(e, &QLineEdit::textChanged, this, &MainWindow::nameControls);
    }
}

// The names that no single caption gives: a check box is named by the caption
// of its row, or of its row and the text beside it, and a trigger row reads as
// one sentence. They are made from the captions on screen (and the buddies set
// above), so they follow the language.
void MainWindow::nameControls() {
    const auto text = [this](const char* name) { return findChild<QLabel*>(QLatin1String(name))->text(); };
    const auto captionOf = [](const QWidget* control) {
        for (const QLabel* l : control->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (l->buddy() == control) return l->text();
        }
        return QString();
    };
    for (QCheckBox* box : {chkNotifyIISReset, chkNotifyComputerReset, chkNotifyAbortMonitor}) {
        box->setAccessibleName(text("Label20") + QLatin1Char(' ') + captionOf(box));
    }
    const std::tuple<QCheckBox*, const char*, QLineEdit*> triggers[] = {
        {chkIISReset, "Label25", txtPageFailureThreshold},
        {chkComputerReset, "Label26", txtIISResetThreshold},
        {chkAbortMonitor, "Label27", txtComputerResetThreshold},
    };
    for (const auto& [box, continuous, threshold] : triggers) {
        QString row = captionOf(box);
        const QString sentence =
            QStringList{text(continuous), field(threshold), captionOf(threshold)}.join(QLatin1Char(' ')).simplified();
        threshold->setAccessibleDescription(row + QLatin1Char(' ') + sentence);
        if (row.endsWith(QLatin1Char(':')) || row.endsWith(QChar(0xFF1A))) row.chop(1);  // "：" in Chinese
        box->setAccessibleName(row);
        box->setAccessibleDescription(sentence);
    }
    txtPageCheckInterval->setAccessibleDescription(text("Label4"));
}

void MainWindow::wireHandlers() {
    connect(&m_timer1, &PeriodTimer::tick, this, &MainWindow::Timer1_Timer);

    // Selecting an option button, by hand or from code, raises its click.
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Option1_Click();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Option2_Click();
    });

    connect(txtPageURL, &QLineEdit::textChanged, this, &MainWindow::txtPageURL_Change);
    connect(txtPageCheckInterval, &QLineEdit::textChanged, this, &MainWindow::txtPageCheckInterval_Change);
    connect(txtIISResetCommand, &QLineEdit::textChanged, this, &MainWindow::txtIISResetCommand_Change);
    connect(txtPageFailureThreshold, &QLineEdit::textChanged, this, &MainWindow::txtPageFailureThreshold_Change);
    connect(txtComputerResetCommand, &QLineEdit::textChanged, this, &MainWindow::txtComputerResetCommand_Change);
    connect(txtIISResetThreshold, &QLineEdit::textChanged, this, &MainWindow::txtIISResetThreshold_Change);
    connect(txtReceiverEmail, &QLineEdit::textChanged, this, &MainWindow::txtReceiverEmail_Change);
    connect(txtSenderEmail, &QLineEdit::textChanged, this, &MainWindow::txtSenderEmail_Change);
    connect(txtSenderSMTP, &QLineEdit::textChanged, this, &MainWindow::txtSenderSMTP_Change);
    connect(txtSenderAccount, &QLineEdit::textChanged, this, &MainWindow::txtSenderAccount_Change);
    connect(txtSenderPassword, &QLineEdit::textChanged, this, &MainWindow::txtSenderPassword_Change);

    // Blanks are trimmed when the operator finishes an edit, not at every
    // keystroke: trimming while typing would eat the blank between two words.
    for (QLineEdit* e : {txtPageURL, txtPageCheckInterval, txtIISResetCommand, txtPageFailureThreshold,
                         txtComputerResetCommand, txtIISResetThreshold, txtReceiverEmail, txtSenderEmail,
                         txtSenderSMTP, txtSenderAccount, txtSenderPassword}) {
        connect(e, &QLineEdit::editingFinished, this, [this, e] { trimField(e); });
    }

    connect(chkIISReset, &QCheckBox::toggled, this, &MainWindow::chkIISReset_Click);
    connect(chkComputerReset, &QCheckBox::toggled, this, &MainWindow::chkComputerReset_Click);
    connect(chkAbortMonitor, &QCheckBox::toggled, this, &MainWindow::chkAbortMonitor_Click);

    connect(cmdCheckPage, &QPushButton::clicked, this, &MainWindow::cmdCheckPage_Click);
    connect(cmdIISReset, &QPushButton::clicked, this, &MainWindow::cmdIISReset_Click);
    connect(cmdComputerReset, &QPushButton::clicked, this, &MainWindow::cmdComputerReset_Click);
    connect(lblSupport, &ClickableLabel::clicked, this, &MainWindow::lblSupport_Click);
    connect(cmdSendEmail, &QPushButton::clicked, this, &MainWindow::cmdSendEmail_Click);
    connect(cmdSave, &QPushButton::clicked, this, &MainWindow::cmdSave_Click);
    connect(cmdStartMonitor, &QPushButton::clicked, this, &MainWindow::cmdStartMonitor_Click);
    connect(cmdStopMonitor, &QPushButton::clicked, this, &MainWindow::cmdStopMonitor_Click);
}

void MainWindow::setTabOrder() {
    const QList<QWidget*> order = {
        cmdStartMonitor,     cmdStopMonitor,         cmdSave,
        cmdCheckPage,        txtIISResetCommand,     txtPageCheckInterval,
        cmdIISReset,         txtPageURL,             txtComputerResetCommand,
        cmdComputerReset,    txtPageFailureThreshold, txtIISResetThreshold,
        chkIISReset,         chkComputerReset,       chkAbortMonitor,
        txtComputerResetThreshold, chkNotifyIISReset, chkNotifyComputerReset,
        chkNotifyAbortMonitor, txtReceiverEmail,     cmdSendEmail,
        txtSenderEmail,      txtSenderSMTP,          txtSenderAccount,
        txtSenderPassword,   Option1,                Option2,
    };
    for (int i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

// ---------------------------------------------------------------------------
// Small helpers

QString MainWindow::field(const QLineEdit* edit) const {
    if (edit == txtComputerResetThreshold) return edit->text();
    return TrimBlanks(edit->text());
}

void MainWindow::setFieldText(QLineEdit* edit, const QString& text) {
    edit->setText(edit == txtComputerResetThreshold ? text : TrimBlanks(text));
}

void MainWindow::trimField(QLineEdit* edit) {
    const QString trimmed = TrimBlanks(edit->text());
    if (trimmed != edit->text()) edit->setText(trimmed);
}

bool MainWindow::isOn(const QCheckBox* box) const { return box->checkState() == Qt::Checked; }

void MainWindow::setChecked(QCheckBox* box, bool on) {
    if (isOn(box) != on) box->setChecked(on);
}

QString MainWindow::msg(Msg message) const { return Text(message, m_language); }

void MainWindow::inform(const QString& text) {
    if (m_services.prompt) m_services.prompt->inform(text);
}

void MainWindow::showStatusLine(const QString& message) {
    lblStatus->setText(message + QLatin1Char('\t') + FormatGeneralDateTime(m_services.now()));
    announce(message);
}

void MainWindow::announceStatus() { announce(lblStatus->text().section(QLatin1Char('\t'), 0, 0)); }

void MainWindow::announce(const QString& message) {
    static const QMetaMethod signal = QMetaMethod::fromSignal(&MainWindow::serviceStatusChanged);
    if (!isSignalConnected(signal)) return;
    const QString text = m_journal.statusChange(message);
    if (!text.isEmpty()) emit serviceStatusChanged(text);
}

QString MainWindow::lastCheckText() const {
    if (!m_lastCheckTime.isValid()) return {};
    return LastCheckText(m_lastCheck, FormatGeneralDateTime(m_lastCheckTime), m_language);
}

void MainWindow::logEvent(const QString& kind, const QString& detail) {
    LogToFile(kind, detail);
    m_journal.logged(kind, detail);
}

void MainWindow::showCounts() {
    lblPageCheckCount->setText(QString::number(m_pageCheckCount));
    lblIISResetCount->setText(QString::number(m_iisResetCount));
    lblComputerResetCount->setText(QString::number(m_computerResetCount));
}

void MainWindow::yieldToEvents() {
    if (m_services.yield) m_services.yield();
}

// ---------------------------------------------------------------------------
// Profile store, date form, log, mail, site state

// The program's own file is reached through its folder, opened once; any
// other path is opened for the call.
QString MainWindow::ReadIni(const QString& FileName, const QString& Section, const QString& KeyName,
                            const QString& DefaultValue) {
    if (m_ini && FileName == m_iniPath) return ProfileStore::ReadIni(*m_ini, Section, KeyName, DefaultValue);
    return ProfileStore::ReadIni(FileName, Section, KeyName, DefaultValue);
}

bool MainWindow::WriteIni(const QString& FileName, const QString& Section, const QString& KeyName,
                          const QString& Value) {
    if (m_ini && FileName == m_iniPath) return ProfileStore::WriteIni(*m_ini, Section, KeyName, Value);
    return ProfileStore::WriteIni(FileName, Section, KeyName, Value);
}

QString MainWindow::FormatDateAndTime(const QDateTime& Value) {
    return Value.isValid() ? FormatFixedDateTime(Value) : QString();
}

QString MainWindow::FormatDateAndTime(const QString& Value) {
    const std::optional<QDateTime> date = ParseDate(Value);
    return date ? FormatFixedDateTime(*date) : QString();
}

void MainWindow::LogToFile(const QString& FuncName, const QString& strDesc) {
    EventLog::Append(*m_folder, m_services.now(), FuncName, strDesc);
}

QString MainWindow::SendMail(const QString& MailServerName, const QString& MailFrom, const QString& MailTo,
                             const QString& MailCC, const QString& MailBCC, const QString& MailUID,
                             const QString& MailPWD, const QString& Subject, const QString& MailBody,
                             const QString& AttachFiles) {
    MailMessage message;
    message.server = MailServerName;
    message.from = MailFrom;
    message.to = MailTo;
    message.cc = MailCC;
    message.bcc = MailBCC;
    message.account = MailUID;
    message.password = MailPWD;
    message.subject = Subject;
    message.htmlBody = MailBody;
    message.attachment = AttachFiles;
    std::shared_ptr<MailTransport> transport = m_services.mail;
    // The window keeps painting and taking clicks while the mail is composed
    // (an attachment is read) and goes out.
    const MailOutcome outcome =
        RunOffThread([transport, message] { return MailSender(*transport).send(message); });
    if (outcome.failure == MailFailure::None) return {};
    // The language is read at the moment of the failure.
    return notification::FailureText(outcome.failure, m_language == QLatin1String("cn")) + outcome.description;
}

int16_t MainWindow::GetIISStatus() {
    std::shared_ptr<SiteProbe> probe = m_services.siteProbe;
    const QString url = field(txtPageURL);
    const int state = RunOffThread([probe, url] { return probe->state(url); });
    return state == SiteStarted || state == SiteStopped ? static_cast<int16_t>(state) : int16_t{SiteUnknown};
}

// ---------------------------------------------------------------------------
// Start-up

void MainWindow::Form_Load() {
    m_loaded = false;
    m_timer1.setEnabled(false);
    // The folder is resolved once: a path renamed or replaced later changes
    // nothing the program reads or writes.
    if (!m_folder) {
        m_folder = m_services.programFolder
                       ? m_services.programFolder
                       : std::make_shared<const Folder>(Folder::Open(m_services.executableFolder()));
    }
    m_iniPath = PathBeside(m_services.executableFolder(), IniName());
    // Read and written many times a run: its bytes are kept while it is unchanged.
    if (!m_ini) m_ini = std::make_unique<KeptFile>(*m_folder, IniEntry());
    if (!m_folder->isOpen()) {
        // Factory settings saved over a run that cannot be seen would be
        // worse than nothing: say so and leave everything as it is.
        m_settingsTrust = Trust();
        m_untrustedCommands.clear();
        LoadDefaultSettings();
        SetLanguage(m_language);
        lblStatus->setText(FolderUnusableText(m_folder->path(), m_folder->errorCode(), m_language));
        m_loaded = true;
        return;
    }
    // Copies of the settings (password included) that a killed write left.
    ProfileStore::RemoveLeftovers(*m_folder, IniName());
    if (m_folder->hasFile(IniEntry())) {
        LoadSettings();
    } else {
        m_settingsTrust = JudgeFile(*m_folder, IniEntry());
        m_untrustedCommands.clear();
        LoadDefaultSettings();
        SaveSettings();
    }
    SetLanguage(m_language);
    if (m_monitoring == QLatin1String("1")) StartMonitoring();
    m_loaded = true;
}

// ---------------------------------------------------------------------------
// Settings record

// A later stage on turns the earlier ones on, also when loading: a file that
// says ResetComputer=0 with AbortMonitor=1 reboots. Nobody sees the switches
// of a service, so its journal says which stored values did not hold.
void MainWindow::sayStagesTurnedOn(const QStringList& stored) {
    QStringList changed;
    int index = 0;
    for (const SettingEntry& entry : SettingsTable()) {
        if (entry.kind != SettingEntry::Kind::Check) continue;
        const QString loaded = isOn(findChild<QCheckBox*>(QLatin1String(entry.control))) ? QStringLiteral("1")
                                                                                            : QStringLiteral("0");
        if (loaded != stored.value(index++)) changed.append(QLatin1String(entry.key) + QLatin1Char('=') + loaded);
    }
    if (changed.isEmpty()) return;
    m_journal.say(QStringLiteral("%1: loaded as %2, because a later stage is on and no stage is on while an earlier "
                                 "one is off")
                      .arg(m_iniPath, changed.join(QStringLiteral(", "))));
}

void MainWindow::LoadDefaultSettings() {
    for (const SettingEntry& entry : SettingsTable()) {
        QWidget* control = findChild<QWidget*>(QLatin1String(entry.control));
        if (entry.kind == SettingEntry::Kind::Check) {
            setChecked(static_cast<QCheckBox*>(control), entry.factoryValue == QLatin1String("1"));
        } else {
            setFieldText(static_cast<QLineEdit*>(control), entry.factoryValue);
        }
    }
    m_monitoring.clear();
    lblStartTime->clear();
    lblPageCheckCount->setText(QStringLiteral("0"));
    lblIISResetCount->setText(QStringLiteral("0"));
    lblComputerResetCount->setText(QStringLiteral("0"));
    m_language = QStringLiteral("eng");
}

void MainWindow::LoadSettings() {
    // Every read is judged on the very file it read.
    m_settingsTrust = Trust();
    auto read = [this](const char* section, const char* key) {
        return ProfileStore::ReadIni(*m_ini, QLatin1String(section), QLatin1String(key), QString(),
                                     &m_settingsTrust);
    };
    QStringList stored;  // each switch as the file has it
    for (const SettingEntry& entry : SettingsTable()) {
        const QString value = read(entry.readSection, entry.key);
        QWidget* control = findChild<QWidget*>(QLatin1String(entry.control));
        if (entry.kind == SettingEntry::Kind::Check) {
            // Only exactly "1" means on; the click handlers keep the
            // escalation chain and the threshold fields consistent.
            setChecked(static_cast<QCheckBox*>(control), value == QLatin1String("1"));
            stored.append(value == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0"));
        } else {
            setFieldText(static_cast<QLineEdit*>(control), value);
        }
    }
    sayStagesTurnedOn(stored);
    // The stage switches' own rule decides the enabled state; set it once more
    // from the final switch states so that it never depends on the order.
    txtPageFailureThreshold->setEnabled(isOn(chkIISReset));
    txtIISResetThreshold->setEnabled(isOn(chkComputerReset));
    txtComputerResetThreshold->setEnabled(isOn(chkAbortMonitor));

    m_monitoring = read(ini::kStatus, ini::kMonitoring);

    const std::optional<QDateTime> start = ParseDate(read(ini::kStatus, ini::kStartTime));
    if (start) {
        m_startTime = *start;
        lblStartTime->setText(FormatGeneralDateTime(m_startTime));
    }

    auto loadCounter = [&](const char* key, int32_t& counter) {
        // Letters, or a number outside 32 bits, leave the counter as it was.
        if (const std::optional<int32_t> value = ToInt32(read(ini::kStatus, key))) counter = *value;
    };
    loadCounter(ini::kPageCheckCount, m_pageCheckCount);
    loadCounter(ini::kIISResetCount, m_iisResetCount);
    loadCounter(ini::kComputerResetCount, m_computerResetCount);
    loadCounter(ini::kContinuousComputerResetFailure, m_continuousComputerResetFailure);

    const QString language = read(ini::kStatus, ini::kLanguage);
    m_language = language.isEmpty() ? QStringLiteral("eng") : language;

    m_untrustedCommands.clear();
    if (!m_settingsTrust.trusted()) m_untrustedCommands << field(txtIISResetCommand) << field(txtComputerResetCommand);
}

void MainWindow::SaveSettings() {
    for (const SettingEntry& entry : SettingsTable()) {
        const QWidget* control = findChild<QWidget*>(QLatin1String(entry.control));
        const QString value = entry.kind == SettingEntry::Kind::Check
                                  ? QString::number(isOn(static_cast<const QCheckBox*>(control)) ? 1 : 0)
                                  : field(static_cast<const QLineEdit*>(control));
        WriteIni(m_iniPath, QLatin1String(entry.writeSection), QLatin1String(entry.key), value);
    }
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kLanguage), m_language);
}

void MainWindow::cmdSave_Click() {
    SaveSettings();
    inform(msg(Msg::SettingsSaved));
}

// ---------------------------------------------------------------------------
// Starting and stopping

void MainWindow::cmdStartMonitor_Click() {
    struct Check {
        bool failed;
        Msg message;
    };
    const Check checks[] = {
        {!IsAcceptableAddress(field(txtPageURL)), Msg::FillPageUrl},
        {!IsNumeric(field(txtPageCheckInterval)), Msg::FillInterval},
        // An interval the timer cannot keep is refused here, before anything
        // is written, with the message the resume gives for it.
        {!TimerPeriodMs(field(txtPageCheckInterval)), Msg::FillUrlAndInterval},
        {isOn(chkIISReset) && field(txtIISResetCommand).isEmpty(), Msg::FillIISResetCommand},
        {isOn(chkIISReset) && !IsNumeric(field(txtPageFailureThreshold)), Msg::FillPageFailureThreshold},
        {isOn(chkComputerReset) && field(txtComputerResetCommand).isEmpty(), Msg::FillComputerResetCommand},
        {isOn(chkComputerReset) && !IsNumeric(field(txtIISResetThreshold)), Msg::FillIISResetThreshold},
        {isOn(chkAbortMonitor) && !IsNumeric(field(txtComputerResetThreshold)), Msg::FillComputerResetThreshold},
    };
    for (const Check& check : checks) {
        if (check.failed) {
            inform(msg(check.message));
            return;
        }
    }

    m_startTime = m_services.now();
    m_pageCheckCount = 0;
    m_iisResetCount = 0;
    m_computerResetCount = 0;
    m_continuousComputerResetFailure = 0;

    const QString status = QLatin1String(ini::kStatus);
    WriteIni(m_iniPath, status, QLatin1String(ini::kMonitoring), QStringLiteral("1"));
    WriteIni(m_iniPath, status, QLatin1String(ini::kStartTime), FormatDateAndTime(m_startTime));
    WriteIni(m_iniPath, status, QLatin1String(ini::kPageCheckCount), QStringLiteral("0"));
    WriteIni(m_iniPath, status, QLatin1String(ini::kIISResetCount), QStringLiteral("0"));
    WriteIni(m_iniPath, status, QLatin1String(ini::kComputerResetCount), QStringLiteral("0"));
    WriteIni(m_iniPath, status, QLatin1String(ini::kContinuousComputerResetFailure), QStringLiteral("0"));

    StartMonitoring();
}

void MainWindow::StartMonitoring() {
    // A period that is not positive or does not fit the timer is refused like
    // a missing interval: the timer would otherwise spin or never tick.
    const std::optional<int> period = TimerPeriodMs(field(txtPageCheckInterval));
    if (!IsAcceptableAddress(field(txtPageURL)) || !period) {
        inform(msg(Msg::FillUrlAndInterval));
        return;
    }
    m_continuousPageFailure = 0;
    m_continuousIISResetFailure = 0;
    cmdStartMonitor->setEnabled(false);
    m_timer1.setInterval(*period);
    m_timer1.setEnabled(true);
    lblStatus->setText(msg(Msg::Monitoring));
    announceStatus();
    lblStartTime->setText(m_startTime.isValid() ? FormatGeneralDateTime(m_startTime) : QString());
    showCounts();
    yieldToEvents();
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kMonitoring), QStringLiteral("1"));
}

void MainWindow::cmdStopMonitor_Click() {
    cmdStartMonitor->setEnabled(true);
    m_timer1.setEnabled(false);
    lblStatus->setText(msg(Msg::MonitorStopped));
    announceStatus();
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kMonitoring), QStringLiteral("0"));
}

// ---------------------------------------------------------------------------
// Page check and the monitoring cycle

bool MainWindow::CheckPage() {
    const QString url = field(txtPageURL);
    // Kept for the status tool tip and told to the journal, which says only
    // changes.
    auto note = [&](bool good, const HttpResult& result) {
        m_lastCheck = result;
        m_lastCheckTime = m_services.now();
        m_journal.checked(good, result, url);
        return good;
    };
    if (!IsAcceptableAddress(url)) {
        HttpResult refused;
        refused.error = QLatin1String(kUnusableAddressText);
        return note(false, refused);
    }
    // The count is on disk before the request goes out, so it survives a
    // check that never comes back.
    m_pageCheckCount = Incremented(m_pageCheckCount);
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kPageCheckCount),
             QString::number(m_pageCheckCount));
    std::shared_ptr<HttpClient> http = m_services.http;
    // The window keeps painting and taking clicks while the request runs.
    const HttpResult result = RunOffThread([http, url] { return http->get(url); });
    return note(result.transferOk && result.status == 200, result);
}

void MainWindow::Timer1_Timer() {
    // A tick that arrives while an earlier one waits at a yield is skipped:
    // two ticks interleaved would run the recovery commands twice.
    if (m_inTick) return;
    m_inTick = true;

    if (CheckPage()) {
        m_continuousPageFailure = 0;
        m_continuousIISResetFailure = 0;
        m_continuousComputerResetFailure = 0;
        WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kContinuousComputerResetFailure),
                 QStringLiteral("0"));
        // Nothing waits before the tick ends: its return to the event loop
        // paints the status line and the counts together.
        showStatusLine(msg(Msg::PageValidStatus));
    } else {
        m_continuousPageFailure = Incremented(m_continuousPageFailure);
        showStatusLine(msg(Msg::PageInvalidStatus));
        yieldToEvents();

        // The stages are examined from the last back to the first, each on its
        // own, in every failed tick.
        if (StageFires(isOn(chkAbortMonitor), field(txtComputerResetThreshold), m_continuousComputerResetFailure)) {
            showStatusLine(GivingUpStatus(m_continuousComputerResetFailure, m_language));
            yieldToEvents();
            AbortMonitoring();
        }
        if (StageFires(isOn(chkComputerReset), field(txtIISResetThreshold), m_continuousIISResetFailure)) {
            showStatusLine(msg(Msg::ComputerResettingStatus));
            yieldToEvents();
            // On disk before the reboot starts, so the chain carries on after it.
            // A reboot whose count is lost would come back to the old count and
            // never reach the give-up stage: then it is not started, and the
            // tick goes on as if the stage had not fired (no counter changes),
            // so that the next failed check tries again.
            const int32_t reboots = Incremented(m_continuousComputerResetFailure);
            if (WriteIni(m_iniPath, QLatin1String(ini::kStatus),
                         QLatin1String(ini::kContinuousComputerResetFailure), QString::number(reboots))) {
                m_continuousPageFailure = 0;
                m_continuousIISResetFailure = 0;
                m_continuousComputerResetFailure = reboots;
                RunComputerReset();
            } else {
                logEvent(QLatin1String(kResetComputer), QLatin1String(kRebootNotPersisted));
                showStatusLine(msg(Msg::PageInvalidStatus));
            }
        }
        if (StageFires(isOn(chkIISReset), field(txtPageFailureThreshold), m_continuousPageFailure)) {
            showStatusLine(msg(Msg::IISResettingStatus));
            yieldToEvents();
            m_continuousIISResetFailure = Incremented(m_continuousIISResetFailure);
            m_continuousPageFailure = 0;
            RunIISReset();
            showStatusLine(IISResetDoneStatus(m_iisResetCount, m_language));
            yieldToEvents();
        }
    }
    showCounts();
    m_inTick = false;
}

// ---------------------------------------------------------------------------
// Recovery actions

MainWindow::CommandStart MainWindow::RunIISReset() {
    m_iisResetCount = Incremented(m_iisResetCount);
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kIISResetCount),
             QString::number(m_iisResetCount));
    const QString command = field(txtIISResetCommand);
    logEvent(QLatin1String(kResetIIS), command);
    if (isOn(chkNotifyIISReset)) NotifyByEmail(QLatin1String(kResetIIS));

    const CommandStart start = startLoggedCommand(QLatin1String(kResetIIS), command);
    // Nothing was started, so there is nothing to wait for.
    if (!start.started()) return start;
    for (int reading = 0; reading < 60; ++reading) {
        if (GetIISStatus() == SiteStopped) break;
        m_services.sleepOneSecond();
        yieldToEvents();
    }
    for (int reading = 0; reading < 60; ++reading) {
        if (GetIISStatus() == SiteStarted) break;
        m_services.sleepOneSecond();
        yieldToEvents();
    }
    return {};
}

MainWindow::CommandStart MainWindow::RunComputerReset() {
    m_computerResetCount = Incremented(m_computerResetCount);
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kComputerResetCount),
             QString::number(m_computerResetCount));
    const QString command = field(txtComputerResetCommand);
    logEvent(QLatin1String(kResetComputer), command);
    if (isOn(chkNotifyComputerReset)) NotifyByEmail(QLatin1String(kResetComputer));

    return startLoggedCommand(QLatin1String(kResetComputer), command);
}

MainWindow::CommandStart MainWindow::startCommand(const QString& command) {
    // As root, a command that another user could have written is not run:
    // not one read from such a file at start-up, whatever the files look like
    // now, and none while the files are such.
    // The text says which holds: the files as they are now, or, once they
    // have been mended, as they were when the commands were read.
    const Trust now = JudgeFile(*m_folder, IniEntry());
    const bool readUntrusted = now.trusted() && m_untrustedCommands.contains(command);
    const Trust& trust = readUntrusted ? m_settingsTrust : now;
    if (!trust.trusted()) {
        return {UntrustedText(trust, readUntrusted, QStringLiteral("eng")),
                UntrustedText(trust, readUntrusted, m_language)};
    }
    QString error;
    ProgramRefusal refusal;
    if (m_services.programs->start(command, &error, &refusal)) return {};
    if (refusal.refused()) {
        return {ProgramRefusalText(refusal, QStringLiteral("eng")), ProgramRefusalText(refusal, m_language)};
    }
    if (error.isEmpty()) error = QStringLiteral("The command could not be started.");
    return {error, error};
}

MainWindow::CommandStart MainWindow::startLoggedCommand(const QString& kind, const QString& command) {
    const CommandStart start = startCommand(command);
    // A command that cannot be started leaves a trace beside its event.
    if (!start.started()) logEvent(kind, QLatin1String(kStartFailed) + start.logText);
    return start;
}

void MainWindow::AbortMonitoring() {
    m_timer1.setEnabled(false);
    cmdStartMonitor->setEnabled(true);
    logEvent(QLatin1String(kAbortMonitor), QString());
    if (isOn(chkNotifyAbortMonitor)) NotifyByEmail(QLatin1String(kAbortMonitor));
}

// ---------------------------------------------------------------------------
// Notification and test mail

void MainWindow::NotifyByEmail(const QString& kind) {
    const QString receivers = field(txtReceiverEmail);
    for (const QLineEdit* e : {txtReceiverEmail, txtSenderEmail, txtSenderSMTP, txtSenderAccount, txtSenderPassword}) {
        if (field(e).isEmpty()) return;
    }
    const QString result = SendMail(field(txtSenderSMTP), field(txtSenderEmail), receivers, QString(), QString(),
                                    field(txtSenderAccount), field(txtSenderPassword), kind, QString(), QString());
    LogToFile(QLatin1String(kSendEmail), result.isEmpty() ? notification::SentDetail(receivers)
                                                           : notification::NotSentDetail(receivers, result));
}

void MainWindow::cmdSendEmail_Click() {
    const BusyButton busy(cmdSendEmail);
    const std::pair<const QLineEdit*, Msg> required[] = {
        {txtReceiverEmail, Msg::FillReceiverEmail}, {txtSenderEmail, Msg::FillSenderEmail},
        {txtSenderSMTP, Msg::FillSenderSmtp},       {txtSenderAccount, Msg::FillSenderAccount},
        {txtSenderPassword, Msg::FillSenderPassword},
    };
    for (const auto& [edit, message] : required) {
        if (field(edit).isEmpty()) {
            inform(msg(message));
            return;
        }
    }
    const QString body = notification::TestBody(FormatGeneralDateTime(m_services.now()));
    const QString result =
        SendMail(field(txtSenderSMTP), field(txtSenderEmail), field(txtReceiverEmail), QString(), QString(),
                 field(txtSenderAccount), field(txtSenderPassword), notification::TestSubject(), body, QString());
    inform(result.isEmpty() ? msg(Msg::EmailSent) : result);
}

// ---------------------------------------------------------------------------
// Language

void MainWindow::SetLanguage(const QString& curLanguage) {
    m_language = TrimBlanks(curLanguage).toLower();
    if (m_services.prompt) m_services.prompt->setLanguage(m_language);
    bool chinese = false;
    if (m_language == QLatin1String("eng")) {
        Option1->setChecked(true);
        Option2->setChecked(false);
    } else if (m_language == QLatin1String("cn")) {
        Option1->setChecked(false);
        Option2->setChecked(true);
        chinese = true;
    } else {
        return;
    }
    for (const CaptionRow& row : CaptionTable()) {
        const QString caption = QString::fromUtf8(chinese ? row.chinese : row.english);
        QObject* control = qstrcmp(row.control, "MainWindow") == 0
                               ? static_cast<QObject*>(this)
                               : findChild<QObject*>(QLatin1String(row.control));
        if (control == this) {
            setWindowTitle(caption);
        } else if (auto* groupBox = qobject_cast<QGroupBox*>(control)) {
            groupBox->setTitle(caption);
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            label->setText(caption);
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            button->setText(caption);
        }
    }
    nameControls();
}

void MainWindow::Option1_Click() { SetLanguage(QStringLiteral("eng")); }

void MainWindow::Option2_Click() { SetLanguage(QStringLiteral("cn")); }

// ---------------------------------------------------------------------------
// Field validation

void MainWindow::txtPageURL_Change() {
    if (!m_loaded) return;
    const QString text = field(txtPageURL);
    if (text.size() <= 4) return;
    if (text.left(4).toLower() != QLatin1String("http")) inform(msg(Msg::ShouldStartWithHttp));
}

void MainWindow::checkPositiveNumber(QLineEdit* edit, bool retimes) {
    if (!m_loaded) return;
    const QString text = field(edit);
    if (IsNumeric(text)) {
        // Beyond 16 bits the value is reported as no number at all.
        const std::optional<int16_t> whole = ToInt16(text);
        if (!whole) {
            inform(msg(Msg::ShouldBeNumber));
            return;
        }
        if (*whole <= 0) {
            inform(msg(Msg::ShouldBeBiggerThanZero));
            return;
        }
        if (retimes) {
            const std::optional<int> period = TimerPeriodMs(text);
            if (!period) {
                inform(msg(Msg::ShouldBeNumber));
                return;
            }
            // The on/off state stays: a running cycle goes on at the new pace.
            m_timer1.setInterval(*period);
        }
    } else if (!text.isEmpty()) {
        inform(msg(Msg::ShouldBeNumber));
    }
}

void MainWindow::txtPageCheckInterval_Change() { checkPositiveNumber(txtPageCheckInterval, true); }
void MainWindow::txtPageFailureThreshold_Change() { checkPositiveNumber(txtPageFailureThreshold, false); }
void MainWindow::txtIISResetThreshold_Change() { checkPositiveNumber(txtIISResetThreshold, false); }

// These fields have nothing to check; their blanks go when the edit is done.
void MainWindow::txtIISResetCommand_Change() {}
void MainWindow::txtComputerResetCommand_Change() {}
void MainWindow::txtReceiverEmail_Change() {}
void MainWindow::txtSenderEmail_Change() {}
void MainWindow::txtSenderSMTP_Change() {}
void MainWindow::txtSenderAccount_Change() {}
void MainWindow::txtSenderPassword_Change() {}

// A later stage is never on while an earlier one is off, and each threshold
// field is enabled exactly while its stage is on.
void MainWindow::chkIISReset_Click() {
    const bool on = isOn(chkIISReset);
    txtPageFailureThreshold->setEnabled(on);
    if (!on) {
        setChecked(chkComputerReset, false);
        setChecked(chkAbortMonitor, false);
    }
}

void MainWindow::chkComputerReset_Click() {
    const bool on = isOn(chkComputerReset);
    txtIISResetThreshold->setEnabled(on);
    if (on) {
        setChecked(chkIISReset, true);
    } else {
        setChecked(chkAbortMonitor, false);
    }
}

void MainWindow::chkAbortMonitor_Click() {
    const bool on = isOn(chkAbortMonitor);
    txtComputerResetThreshold->setEnabled(on);
    if (on) setChecked(chkComputerReset, true);
}

// ---------------------------------------------------------------------------
// Manual actions

void MainWindow::cmdCheckPage_Click() {
    const BusyButton busy(cmdCheckPage);
    if (!IsAcceptableAddress(field(txtPageURL))) {
        inform(msg(Msg::FillPageUrlToCheck));
        return;
    }
    inform(msg(CheckPage() ? Msg::PageValid : Msg::PageInvalid));
}

void MainWindow::cmdIISReset_Click() {
    const BusyButton busy(cmdIISReset);
    if (field(txtIISResetCommand).isEmpty()) {
        inform(msg(Msg::FillIISResetCommand));
        return;
    }
    if (!m_services.prompt || !m_services.prompt->confirm(msg(Msg::ConfirmIISReset))) return;
    showStatusLine(msg(Msg::IISResetting));
    yieldToEvents();
    const CommandStart start = RunIISReset();
    lblStatus->clear();
    if (!start.started()) {
        inform(start.boxText);
        return;
    }
    inform(msg(Msg::IISResetByManual));
}

void MainWindow::cmdComputerReset_Click() {
    const BusyButton busy(cmdComputerReset);
    if (field(txtComputerResetCommand).isEmpty()) {
        inform(msg(Msg::FillComputerResetCommand));
        return;
    }
    if (!m_services.prompt || !m_services.prompt->confirm(msg(Msg::ConfirmComputerReset))) return;
    showStatusLine(msg(Msg::ComputerResetting));
    yieldToEvents();
    const CommandStart start = startCommand(field(txtComputerResetCommand));
    if (!start.started()) {
        lblStatus->clear();
        inform(start.boxText);
    }
}

void MainWindow::lblSupport_Click() {
    if (!m_services.openUrl || !m_services.executableFolder) return;
    const QString document = SupportDocument(m_services.executableFolder(), m_services.fileExists);
    if (!document.isEmpty()) m_services.openUrl(QUrl::fromLocalFile(document).toString());
}

}  // namespace tarvesk
