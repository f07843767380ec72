#include "window/main_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QUrl>
#include <tuple>
#include <utility>

#include "monitor/monitor_rules.h"
#include "notify/notification_texts.h"
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
    : QWidget(parent), m_engine(std::move(services)) {
    setObjectName(QStringLiteral("MainWindow"));
    if (auto* boxes = dynamic_cast<MessageBoxPrompt*>(m_engine.services().prompt.get())) boxes->setParent(this);
    buildControls();
    wireHandlers();
    setTabOrder();
    m_engine.Form_Load();
    if (cmdStartMonitor->isEnabled()) cmdStartMonitor->setFocus();
}

MainWindow::~MainWindow() = default;

// ---------------------------------------------------------------------------
// Controls

void MainWindow::buildControls() {
    setWindowTitle(QStringLiteral("Tarvesk & Auto Reset"));
    setFont(BaseFont());
    setFixedSize(px(7470), px(8910));

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
    Frame3 = group("Frame3", "Settings - Email Notice", 3600, 2895);
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
    label(Frame3, "Label28", "Warn days before the certificate expires:", kCaptionLeft, row(7),
          kThresholdLeft - 60 - kCaptionLeft);
    txtCertificateWarnDays = edit(Frame3, "txtCertificateWarnDays", "14", kThresholdLeft, row(7), kThresholdWidth);
    chkNotifyCertificate = check(Frame3, "chkNotifyCertificate", kTrailingLeft, row(7));
    label(Frame3, "Label29", "Notify by Email", kTrailingLeft + kCheckSize + 45, row(7),
          kTrailingWidth - kCheckSize - 45);

    // Status - Monitor Actions.
    Frame2 = group("Frame2", "Status -Monitor Actions", 6720, 1455);
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
    lblStatus = label(Frame2, "lblStatus", "", 120, row(3), 6975, Qt::AlignCenter);
    lblStatus->setText(m_engine.statusLine());
    lblStatus->setFont(bold);
    new LazyToolTip(lblStatus, [this] { return m_engine.lastCheckText(); });
    // Every check rewrites these. Plain text spares the rich-text sniffing,
    // and a label that fills its own background is repainted alone, without
    // the frame and its caption beneath it.
    for (QLabel* l : {lblStatus, lblPageCheckCount, lblIISResetCount, lblComputerResetCount}) {
        l->setTextFormat(Qt::PlainText);
        l->setAutoFillBackground(true);
    }

    // Button row.
    cmdSave = button(this, "cmdSave", "Save Settings", 1320, 8400, 1215, 375);
    cmdStartMonitor = button(this, "cmdStartMonitor", "Start Monitor", 3120, 8400, 1215, 375);
    cmdStopMonitor = button(this, "cmdStopMonitor", "Stop Monitor", 4920, 8400, 1215, 375);

    m_textSettings = {
        {txtPageURL, &SettingsRecord::pageUrl},
        {txtPageCheckInterval, &SettingsRecord::interval},
        {txtIISResetCommand, &SettingsRecord::iisResetCommand},
        {txtPageFailureThreshold, &SettingsRecord::pageFailureThreshold},
        {txtComputerResetCommand, &SettingsRecord::computerResetCommand},
        {txtIISResetThreshold, &SettingsRecord::iisResetThreshold},
        {txtComputerResetThreshold, &SettingsRecord::computerResetThreshold},
        {txtReceiverEmail, &SettingsRecord::receiverEmail},
        {txtSenderEmail, &SettingsRecord::senderEmail},
        {txtSenderSMTP, &SettingsRecord::senderSmtp},
        {txtSenderAccount, &SettingsRecord::senderAccount},
        {txtSenderPassword, &SettingsRecord::senderPassword},
        {txtCertificateWarnDays, &SettingsRecord::certificateWarnDays},
    };
    // In the order of the stages, as loading has always set them.
    m_checkSettings = {
        {chkIISReset, &SettingsRecord::iisReset},
        {chkComputerReset, &SettingsRecord::computerReset},
        {chkAbortMonitor, &SettingsRecord::abortMonitor},
        {chkNotifyIISReset, &SettingsRecord::notifyIISReset},
        {chkNotifyComputerReset, &SettingsRecord::notifyComputerReset},
        {chkNotifyAbortMonitor, &SettingsRecord::notifyAbortMonitor},
        {chkNotifyCertificate, &SettingsRecord::notifyCertificate},
    };

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
        {"Label28", txtCertificateWarnDays}, {"Label29", chkNotifyCertificate},
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
    connect(&m_engine, &MonitorEngine::statusLineChanged, lblStatus, &QLabel::setText);
    connect(&m_engine, &MonitorEngine::countsChanged, this, &MainWindow::showCounts);
    connect(&m_engine, &MonitorEngine::startTimeChanged, lblStartTime, &QLabel::setText);
    connect(&m_engine, &MonitorEngine::runningChanged, this, [this](bool running) {
        cmdStartMonitor->setEnabled(!running);
    });
    connect(&m_engine, &MonitorEngine::languageChanged, this, &MainWindow::showLanguage);
    connect(&m_engine, &MonitorEngine::settingsLoaded, this, &MainWindow::showSettings);

    // Every edit reaches the engine at once, before its field's own handler
    // runs: the fields are the live settings of a run.
    for (const auto& [edit, member] : m_textSettings) {
        connect(edit, &QLineEdit::textChanged, this, [this, edit = edit, member = member] {
            m_engine.settings().*member = field(edit);
        });
    }
    for (const auto& [box, member] : m_checkSettings) {
        connect(box, &QCheckBox::toggled, this, [this, box = box, member = member] {
            m_engine.settings().*member = isOn(box);
        });
    }

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
    connect(txtCertificateWarnDays, &QLineEdit::textChanged, this, &MainWindow::txtCertificateWarnDays_Change);

    // Blanks are trimmed when the operator finishes an edit, not at every
    // keystroke: trimming while typing would eat the blank between two words.
    for (QLineEdit* e : {txtPageURL, txtPageCheckInterval, txtIISResetCommand, txtPageFailureThreshold,
                         txtComputerResetCommand, txtIISResetThreshold, txtReceiverEmail, txtSenderEmail,
                         txtSenderSMTP, txtSenderAccount, txtSenderPassword, txtCertificateWarnDays}) {
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
        txtSenderPassword,   txtCertificateWarnDays, chkNotifyCertificate,
        Option1,             Option2,
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

QString MainWindow::msg(Msg message) const { return Text(message, m_engine.language()); }

void MainWindow::inform(const QString& text) {
    if (m_engine.services().prompt) m_engine.services().prompt->inform(text);
}

void MainWindow::showCounts(int pageChecks, int iisResets, int computerResets) {
    lblPageCheckCount->setText(QString::number(pageChecks));
    lblIISResetCount->setText(QString::number(iisResets));
    lblComputerResetCount->setText(QString::number(computerResets));
}

void MainWindow::yieldToEvents() {
    if (m_engine.services().yield) m_engine.services().yield();
}

// ---------------------------------------------------------------------------
// Settings

// The fields take the record's values as the engine loaded them. Validation
// is held off while it loads; the switches' own rule, which the engine has
// already applied to the record, runs here too, and the enabled state is set
// once more from the final switch states so that it never depends on the
// order.
void MainWindow::showSettings() {
    const SettingsRecord& settings = m_engine.settings();
    for (const auto& [edit, member] : m_textSettings) setFieldText(edit, settings.*member);
    for (const auto& [box, member] : m_checkSettings) setChecked(box, settings.*member);
    txtPageFailureThreshold->setEnabled(isOn(chkIISReset));
    txtIISResetThreshold->setEnabled(isOn(chkComputerReset));
    txtComputerResetThreshold->setEnabled(isOn(chkAbortMonitor));
}

void MainWindow::cmdSave_Click() {
    m_engine.SaveSettings();
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
    m_engine.StartNewRun();
}

void MainWindow::cmdStopMonitor_Click() { m_engine.StopMonitoring(); }

// ---------------------------------------------------------------------------
// Test mail

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
    const QString body = notification::TestBody(FormatGeneralDateTime(m_engine.services().now()));
    const QString result = m_engine.SendMail(field(txtSenderSMTP), field(txtSenderEmail), field(txtReceiverEmail),
                                             QString(), QString(), field(txtSenderAccount), field(txtSenderPassword),
                                             notification::TestSubject(), body, QString());
    inform(result.isEmpty() ? msg(Msg::EmailSent) : result);
}

// ---------------------------------------------------------------------------
// Language

void MainWindow::SetLanguage(const QString& curLanguage) { m_engine.SetLanguage(curLanguage); }

void MainWindow::showLanguage(const QString& language) {
    bool chinese = false;
    if (language == QLatin1String("eng")) {
        Option1->setChecked(true);
        Option2->setChecked(false);
    } else if (language == QLatin1String("cn")) {
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
    if (!m_engine.loaded()) return;
    const QString text = field(txtPageURL);
    if (text.size() <= 4) return;
    if (text.left(4).toLower() != QLatin1String("http")) inform(msg(Msg::ShouldStartWithHttp));
}

void MainWindow::checkPositiveNumber(QLineEdit* edit, bool retimes) {
    if (!m_engine.loaded()) return;
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
            m_engine.setCheckPeriod(*period);
        }
    } else if (!text.isEmpty()) {
        inform(msg(Msg::ShouldBeNumber));
    }
}

void MainWindow::txtPageCheckInterval_Change() { checkPositiveNumber(txtPageCheckInterval, true); }
void MainWindow::txtPageFailureThreshold_Change() { checkPositiveNumber(txtPageFailureThreshold, false); }
void MainWindow::txtIISResetThreshold_Change() { checkPositiveNumber(txtIISResetThreshold, false); }

// A whole number of days, 0 for never.
void MainWindow::txtCertificateWarnDays_Change() {
    if (!m_engine.loaded()) return;
    const QString text = field(txtCertificateWarnDays);
    if (text.isEmpty()) return;
    const std::optional<int16_t> days = IsNumeric(text) ? ToInt16(text) : std::nullopt;
    if (!days) {
        inform(msg(Msg::ShouldBeNumber));
    } else if (*days < 0) {
        inform(msg(Msg::ShouldBeZeroOrMore));
    }
}

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
    inform(msg(m_engine.CheckPage() ? Msg::PageValid : Msg::PageInvalid));
}

void MainWindow::cmdIISReset_Click() {
    const BusyButton busy(cmdIISReset);
    if (field(txtIISResetCommand).isEmpty()) {
        inform(msg(Msg::FillIISResetCommand));
        return;
    }
    const std::shared_ptr<Prompt>& prompt = m_engine.services().prompt;
    if (!prompt || !prompt->confirm(msg(Msg::ConfirmIISReset))) return;
    m_engine.showStatusLine(msg(Msg::IISResetting));
    yieldToEvents();
    const MonitorEngine::CommandStart start = m_engine.RunIISReset();
    m_engine.setStatusText(QString());
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
    const std::shared_ptr<Prompt>& prompt = m_engine.services().prompt;
    if (!prompt || !prompt->confirm(msg(Msg::ConfirmComputerReset))) return;
    m_engine.showStatusLine(msg(Msg::ComputerResetting));
    yieldToEvents();
    const MonitorEngine::CommandStart start = m_engine.startCommand(field(txtComputerResetCommand));
    if (!start.started()) {
        m_engine.setStatusText(QString());
        inform(start.boxText);
    }
}

void MainWindow::lblSupport_Click() {
    const Services& services = m_engine.services();
    if (!services.openUrl || !services.executableFolder) return;
    const QString document = SupportDocument(services.executableFolder(), services.fileExists);
    if (!document.isEmpty()) services.openUrl(QUrl::fromLocalFile(document).toString());
}

}  // namespace tarvesk
