#include "window/messages.h"

#include <map>

#include "monitor/page_state_journal.h"

namespace tarvesk {
namespace {

struct Pair {
    const char* english;
    const char* chinese;
};

const std::map<Msg, Pair>& Table() {
    static const std::map<Msg, Pair> table = {
        {Msg::FillPageUrl, {"Please fill Page URL.", "请填写待监测的页面 URL。"}},
        {Msg::FillInterval, {"Please fill Page Check Interval.", "请填写页面监测的时间间隔。"}},
        {Msg::FillIISResetCommand, {"Please fill IIS Reset Command.", "请填写 IIS 重启命令。"}},
        {Msg::FillPageFailureThreshold, {"Please fill Page Failures Times.", "请填写页面失效次数。"}},
        {Msg::FillComputerResetCommand, {"Please fill Computer Reset Command.", "请填写电脑重启命令。"}},
        {Msg::FillIISResetThreshold, {"Please fill IIS Reset Failures Times.", "请填写 IIS 重启失效次数。"}},
        {Msg::FillComputerResetThreshold,
         {"Please fill Computer Reset Failures Times.", "请填写电脑重启失效次数。"}},
        {Msg::FillUrlAndInterval,
         {"Please fill PageURL and Page Check Interval.", "请填写待监测的页面 URL 及时间间隔。"}},
        {Msg::Monitoring, {"Monitoring.", "正在监测。"}},
        {Msg::MonitorStopped, {"Monitor stopped.", "监测已停止。"}},
        {Msg::PageValidStatus, {"Monitoring, page is valid.", "正在监测，页面正常。"}},
        {Msg::PageInvalidStatus, {"Monitoring, page is invalid.", "正在监测，页面失效。"}},
        {Msg::ComputerResettingStatus,
         {"Monitoring, page is invalid, Computer is resetting.", "正在监测，页面失效，电脑即将重启。"}},
        {Msg::IISResettingStatus,
         {"Monitoring, page is invalid, IIS is resetting.", "正在监测，页面失效，IIS 即将重启。"}},
        {Msg::SettingsSaved, {"Settings saved.", "已保存。"}},
        {Msg::ShouldStartWithHttp,
         {"This field should start with http or https.", "此栏目应填写 http 或 https 形式的页面地址。"}},
        {Msg::ShouldBeBiggerThanZero, {"This field should be bigger than 0.", "此栏目应填写大于 0 的数值。"}},
        {Msg::ShouldBeNumber, {"This field should be a number.", "此栏目应填写数值。"}},
        {Msg::FillPageUrlToCheck, {"Please fill Page URL to Check.", "请填写待监测的页面 URL。"}},
        {Msg::PageValid, {"Page is valid.", "页面正常。"}},
        {Msg::PageInvalid, {"Page is invalid.", "页面失效。"}},
        {Msg::ConfirmIISReset, {"Are you sure to Reset IIS?", "您确定要重启 IIS 吗？"}},
        {Msg::IISResetting, {"IIS is resetting.", "IIS 即将重启。"}},
        {Msg::IISResetByManual, {"IIS has been reset by manual.", "IIS 已手工重启。"}},
        {Msg::ConfirmComputerReset, {"Are you sure to Reset Computer?", "您确定要重启电脑吗？"}},
        {Msg::ComputerResetting, {"Computer is resetting.", "电脑即将重启。"}},
        {Msg::FillReceiverEmail, {"Please fill Email of Receiver.", "请填写 Email 收件地址。"}},
        {Msg::FillSenderEmail, {"Please fill Email of Sender.", "请填写 Email 发件地址。"}},
        {Msg::FillSenderSmtp, {"Please fill SMTP Server of Sender.", "请填写 SMTP 服务器地址。"}},
        {Msg::FillSenderAccount, {"Please fill Account of Sender.", "请填写 SMTP 登录帐号。"}},
        {Msg::FillSenderPassword, {"Please fill Password of Sender.", "请填写 SMTP 登录密码。"}},
        {Msg::EmailSent, {"Email sended, please check it.", "Email 已发送，请查收。"}},
        {Msg::AlreadyRunning, {"Tarvesk is already running from this folder.", "此文件夹中已有一个 Tarvesk 正在运行。"}},
    };
    return table;
}

bool IsChinese(const QString& language) { return language == QLatin1String("cn"); }

}  // namespace

QString Text(Msg message, const QString& language) {
    const Pair& pair = Table().at(message);
    return QString::fromUtf8(IsChinese(language) ? pair.chinese : pair.english);
}

QString UntrustedText(const Trust& trust, bool atLoad, const QString& language) {
    const bool above = trust.cause == Trust::Cause::FolderAbove;
    if (IsChinese(language)) {
        const QString what = above ? QStringLiteral("Tarvesk.ini 上层的文件夹 %1 ").arg(trust.folder)
                                   : QStringLiteral("Tarvesk.ini 或其所在文件夹");
        return atLoad ? QStringLiteral("读取设置时") + what +
                            QStringLiteral("可被其他用户修改，在 Tarvesk 重新启动之前不以 root 身份运行命令。")
                      : what + QStringLiteral("可被其他用户修改，因此不以 root 身份运行命令。");
    }
    if (!above && !atLoad) return QString::fromLatin1(kUntrustedIniText);
    const QString what = above ? QStringLiteral("The folder %1 above Tarvesk.ini").arg(trust.folder)
                               : QStringLiteral("Tarvesk.ini or its folder");
    return atLoad ? what + QStringLiteral(" could be changed by another user when the settings were read; "
                                          "commands are not run as root until Tarvesk starts again.")
                  : what + QStringLiteral(" can be changed by another user; commands are not run as root.");
}

QString LastCheckText(const HttpResult& result, const QString& when, const QString& language) {
    if (!IsChinese(language)) {
        return QStringLiteral("%1 (%2), %3")
            .arg(PageStateJournal::Reason(result), PageStateJournal::Duration(result.elapsed), when);
    }
    const long long ms = result.elapsed.count();
    const QString took = ms < 1000 ? QStringLiteral("%1 毫秒").arg(ms)
                                   : QStringLiteral("%1 秒").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
    QString reason = result.error;  // the HTTP library's words stay as they are
    if (result.transferOk) reason = QStringLiteral("HTTP 状态 %1").arg(result.status);
    if (reason == QLatin1String(kUnusableAddressText)) reason = QStringLiteral("页面地址不可用");
    return QStringLiteral("%1（用时 %2），%3").arg(reason, took, when);
}

QString GivingUpStatus(int computerResets, const QString& language) {
    const QString n = QString::number(computerResets);
    return IsChinese(language) ? QStringLiteral("监测已停止，电脑已重启 ") + n + QStringLiteral(" 次。")
                               : QStringLiteral("Monitor stopped, computer has reset ") + n +
                                     QStringLiteral(" times.");
}

QString IISResetDoneStatus(int iisResets, const QString& language) {
    const QString n = QString::number(iisResets);
    return IsChinese(language) ? QStringLiteral("正在监测，IIS 已经重启 ") + n + QStringLiteral(" 次。")
                               : QStringLiteral("Monitoring, IIS has reset ") + n + QStringLiteral(" times.");
}

}  // namespace tarvesk
