#include "monitor/messages.h"

#include <cstring>
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
        {Msg::ReadyToStart, {"Ready to Start Monitor.", "准备就绪，可以开始。"}},
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

QString UntrustedText(const Trust& trust, bool atRead, const QString& language) {
    using Cause = Trust::Cause;
    // What is wrong, now and as it was at the read, in both languages.
    struct Problem {
        Cause cause;
        const char* english[2];
        const char* chinese[2];
    };
    static const Problem kProblems[] = {
        {Cause::IniOrFolder,
         {"Tarvesk.ini or its folder can be changed by another user",
          "Tarvesk.ini or its folder could be changed by another user when the settings were read"},
         {"Tarvesk.ini 或其所在文件夹可被其他用户修改", "读取设置时，Tarvesk.ini 或其所在文件夹可被其他用户修改"}},
        {Cause::FolderAbove,
         {"The folder %1 above Tarvesk.ini can be changed by another user",
          "The folder %1 above Tarvesk.ini could be changed by another user when the settings were read"},
         {"Tarvesk.ini 上层的文件夹 %1 可被其他用户修改", "读取设置时，Tarvesk.ini 上层的文件夹 %1 可被其他用户修改"}},
        {Cause::OnTheWay,
         {"%1, a link or folder on the way to Tarvesk.ini, can be changed by another user",
          "%1, a link or folder on the way to Tarvesk.ini, could be changed by another user when the settings "
          "were read"},
         {"通往 Tarvesk.ini 的链接或文件夹 %1 可被其他用户修改",
          "读取设置时，通往 Tarvesk.ini 的链接或文件夹 %1 可被其他用户修改"}},
        {Cause::Pseudo,
         {"Tarvesk.ini leads to %1, on a file system such as /proc that other programs fill",
          "When the settings were read, Tarvesk.ini led to %1, on a file system such as /proc that other programs "
          "fill"},
         {"Tarvesk.ini 指向 %1，位于 /proc 之类由其他程序填写的文件系统上",
          "读取设置时，Tarvesk.ini 指向 %1，位于 /proc 之类由其他程序填写的文件系统上"}},
        {Cause::Dangling,
         {"Tarvesk.ini is a link to %1, where nothing is, and root makes no file where a link points",
          "When the settings were read, Tarvesk.ini was a link to %1, where nothing was, and root makes no file "
          "where a link points"},
         {"Tarvesk.ini 是指向 %1 的链接，但该处没有文件，root 不会在链接所指之处新建文件",
          "读取设置时，Tarvesk.ini 是指向 %1 的链接，但该处没有文件，root 不会在链接所指之处新建文件"}},
    };
    const int tense = atRead ? 1 : 0;
    const bool chinese = IsChinese(language);
    QString problem;
    for (const Problem& p : kProblems) {
        if (p.cause == trust.cause) problem = QString::fromUtf8(chinese ? p.chinese[tense] : p.english[tense]);
    }
    if (problem.contains(QLatin1String("%1"))) problem = problem.arg(trust.folder);
    // A chmod does not take the file from a writer who opened it before:
    // only a new file is safe.
    if (chinese) {
        return problem +
               QString::fromUtf8(atRead ? "，因此当时读取的命令不以 root 身份运行。" : "，因此不以 root 身份运行命令。") +
               QStringLiteral("请以 root 身份重新创建 Tarvesk.ini：复制该文件，检查其中的命令，再用副本替换原文件（或链接）；"
                              "其上各级文件夹须属于 root 且只有 root 可写；然后重新启动 Tarvesk。");
    }
    return problem + QLatin1String(atRead ? ", so the commands read then are not run as root."
                                          : ", so commands are not run as root.") +
           QStringLiteral(" Re-create Tarvesk.ini as root: copy it, review its commands and replace the original "
                          "(or the link) with the copy; keep every folder above it root's and writable by root "
                          "alone; then restart Tarvesk.");
}

QString FolderUnusableText(const QString& folder, int errorCode, const QString& language) {
    const QString reason = QString::fromLocal8Bit(std::strerror(errorCode));
    if (IsChinese(language)) {
        return QStringLiteral("无法打开文件夹 %1（%2）：不能读取或保存 Tarvesk.ini，也不写日志，其中保存的监测不会继续。"
                              "请让运行 Tarvesk 的用户至少可以进入该文件夹。")
            .arg(folder, reason);
    }
    return QStringLiteral("The folder %1 cannot be opened (%2): Tarvesk.ini cannot be read or saved and nothing is "
                          "logged, so a run saved there is not resumed. Give the user Tarvesk runs as at least "
                          "search (x) permission on it.")
        .arg(folder, reason);
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
