#include "monitor/messages.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <map>

#include "monitor/page_state_journal.h"
#include "platform/text_conv.h"

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
        {Msg::ShouldBeZeroOrMore, {"This field should be 0 or more.", "此栏目应填写 0 或更大的数值。"}},
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
    // What is wrong, now and as it was at the read, and the mend that fits
    // it, in both languages.
    struct Problem {
        Cause cause;
        const char* english[2];
        const char* chinese[2];
        const char* mend[2];  // English, Chinese
    };
    // A chmod does not take the file from a writer who opened it before:
    // where another user may have written it, only a new file is safe.
    static const Problem kProblems[] = {
        {Cause::IniOrFolder,
         {"Tarvesk.ini or its folder can be changed by another user",
          "Tarvesk.ini or its folder could be changed by another user when the settings were read"},
         {"Tarvesk.ini 或其所在文件夹可被其他用户修改", "读取设置时，Tarvesk.ini 或其所在文件夹可被其他用户修改"},
         {"Re-create Tarvesk.ini as root: copy it, review its commands and replace the original (or the link) with "
          "the copy; keep every folder above it root's and writable by root alone; then restart Tarvesk.",
          "请以 root 身份重新创建 Tarvesk.ini：复制该文件，检查其中的命令，再用副本替换原文件（或链接）；"
          "其上各级文件夹须属于 root 且只有 root 可写；然后重新启动 Tarvesk。"}},
        {Cause::FolderAbove,
         {"The folder %1 above Tarvesk.ini can be changed by another user",
          "The folder %1 above Tarvesk.ini could be changed by another user when the settings were read"},
         {"Tarvesk.ini 上层的文件夹 %1 可被其他用户修改", "读取设置时，Tarvesk.ini 上层的文件夹 %1 可被其他用户修改"},
         {"Move Tarvesk's folder, with its program, where every folder above it is root's and writable by root "
          "alone (such as /opt/tarvesk), review the commands in Tarvesk.ini, then restart Tarvesk.",
          "请把 Tarvesk 的文件夹连同程序移到其上各级文件夹都属于 root 且只有 root 可写的位置（例如 /opt/tarvesk），"
          "检查 Tarvesk.ini 中的命令，然后重新启动 Tarvesk。"}},
        {Cause::OnTheWay,
         {"%1, a link or folder on the way to Tarvesk.ini, can be changed by another user",
          "%1, a link or folder on the way to Tarvesk.ini, could be changed by another user when the settings "
          "were read"},
         {"通往 Tarvesk.ini 的链接或文件夹 %1 可被其他用户修改",
          "读取设置时，通往 Tarvesk.ini 的链接或文件夹 %1 可被其他用户修改"},
         {"Replace the link Tarvesk.ini with a file of root's: copy the file it leads to, review its commands and "
          "put the copy in the link's place; then restart Tarvesk.",
          "请用属于 root 的文件替换链接 Tarvesk.ini：复制其所指的文件，检查其中的命令，再用副本替换该链接；"
          "然后重新启动 Tarvesk。"}},
        {Cause::Pseudo,
         {"Tarvesk.ini leads to %1, on a file system such as /proc that other programs fill",
          "When the settings were read, Tarvesk.ini led to %1, on a file system such as /proc that other programs "
          "fill"},
         {"Tarvesk.ini 指向 %1，位于 /proc 之类由其他程序填写的文件系统上",
          "读取设置时，Tarvesk.ini 指向 %1，位于 /proc 之类由其他程序填写的文件系统上"},
         {"Replace the link Tarvesk.ini with a file of root's; then restart Tarvesk.",
          "请用属于 root 的文件替换链接 Tarvesk.ini；然后重新启动 Tarvesk。"}},
        {Cause::Dangling,
         {"Tarvesk.ini is a link to %1, where nothing is, and root makes no file where a link points",
          "When the settings were read, Tarvesk.ini was a link to %1, where nothing was, and root makes no file "
          "where a link points"},
         {"Tarvesk.ini 是指向 %1 的链接，但该处没有文件，root 不会在链接所指之处新建文件",
          "读取设置时，Tarvesk.ini 是指向 %1 的链接，但该处没有文件，root 不会在链接所指之处新建文件"},
         {"Create %1 as root, or replace the link Tarvesk.ini with a file of root's; then restart Tarvesk.",
          "请以 root 身份创建 %1，或用属于 root 的文件替换链接 Tarvesk.ini；然后重新启动 Tarvesk。"}},
        {Cause::TakenOver,
         {"Tarvesk.ini was another user's file until root took it over, as %1 records",
          "When the settings were read, Tarvesk.ini was another user's file that root had taken over, as %1 "
          "records"},
         {"Tarvesk.ini 原属其他用户，已由 root 接管（见 %1）",
          "读取设置时，Tarvesk.ini 原属其他用户，已由 root 接管（见 %1）"},
         {"Read CmdResetIIS and CmdResetComputer in Tarvesk.ini; if they are commands root may run, remove %1; "
          "then restart Tarvesk.",
          "请阅读 Tarvesk.ini 中的 CmdResetIIS 和 CmdResetComputer；如果这些命令可以由 root 运行，请删除 %1；"
          "然后重新启动 Tarvesk。"}},
        {Cause::Unfollowable,
         {"The way to Tarvesk.ini cannot be followed at %1 (a missing folder, a loop of links, a folder that "
          "cannot be opened)",
          "When the settings were read, the way to Tarvesk.ini could not be followed at %1 (a missing folder, a "
          "loop of links, a folder that cannot be opened)"},
         {"通往 Tarvesk.ini 的路径在 %1 处无法继续（文件夹不存在、链接成环或文件夹无法打开）",
          "读取设置时，通往 Tarvesk.ini 的路径在 %1 处无法继续（文件夹不存在、链接成环或文件夹无法打开）"},
         {"Mend the way at %1, or replace the link Tarvesk.ini with a file of root's; then restart Tarvesk.",
          "请修复 %1 处的路径，或用属于 root 的文件替换链接 Tarvesk.ini；然后重新启动 Tarvesk。"}},
    };
    const int tense = atRead ? 1 : 0;
    const bool chinese = IsChinese(language);
    for (const Problem& p : kProblems) {
        if (p.cause != trust.cause) continue;
        const auto text = [&](const char* utf8) {
            const QString t = QString::fromUtf8(utf8);
            return t.contains(QLatin1String("%1")) ? t.arg(trust.folder) : t;
        };
        if (chinese) {
            return text(p.chinese[tense]) +
                   QString::fromUtf8(atRead ? "，因此当时读取的命令不以 root 身份运行。" : "，因此不以 root 身份运行命令。") +
                   text(p.mend[1]);
        }
        return text(p.english[tense]) +
               QLatin1String(atRead ? ", so the commands read then are not run as root. "
                                    : ", so commands are not run as root. ") +
               text(p.mend[0]);
    }
    return {};
}

QString ProgramRefusalText(const ProgramRefusal& refusal, const QString& language) {
    using Cause = Trust::Cause;
    const bool chinese = IsChinese(language);
    const QString& where = refusal.trust.folder;
    QString second = where;
    QString english;
    QString chineseText;
    switch (refusal.trust.cause) {
        case Cause::None:
            return {};
        case Cause::Pseudo:
            english = QStringLiteral("%1 leads to %2, on a file system such as /proc that other programs fill. Name "
                                     "the program by a path that leads to a regular file of root's.");
            chineseText = QStringLiteral("%1 指向 %2，位于 /proc 之类由其他程序填写的文件系统上。请用指向 root "
                                         "的普通文件的路径指定该程序。");
            break;
        case Cause::Dangling:
            english = QStringLiteral("%1 leads to %2, where nothing is. Mend the link, or name the program by its "
                                     "own path.");
            chineseText = QStringLiteral("%1 指向 %2，但该处没有文件。请修复该链接，或用程序本身的路径指定它。");
            break;
        case Cause::Missing:
            english = QStringLiteral("%1 is not there: %2 is no regular file. Check the program's name in the "
                                     "command.");
            chineseText = QStringLiteral("%1 不存在：%2 不是普通文件。请检查命令中的程序名。");
            break;
        case Cause::Unfollowable:
            english = QStringLiteral("the way to %1 cannot be followed at %2 (a missing folder, a loop of links, a "
                                     "folder that cannot be opened). Mend the way, or name the program by another "
                                     "path.");
            chineseText = QStringLiteral("通往 %1 的路径在 %2 处无法继续（文件夹不存在、链接成环或文件夹无法打开）。"
                                         "请修复该路径，或用其他路径指定该程序。");
            break;
        case Cause::IniOrFolder:
        case Cause::FolderAbove:
        case Cause::OnTheWay:
        case Cause::TakenOver:
            if (where.isEmpty() || where == refusal.program) {
                second = chinese ? QStringLiteral("文件本身") : QStringLiteral("the file itself");
            }
            english = QStringLiteral("%1 can be changed by another user (%2). The program a command names, and "
                                     "every folder above it, must be root's and writable by root alone: move it "
                                     "where only root can change it (such as /usr/local/sbin), or make %2 so.");
            chineseText = QStringLiteral("%1 可被其他用户修改（%2）。命令所指的程序及其上各级文件夹须属于 root 且只有 "
                                         "root 可写：请把它移到只有 root 可以修改的位置（例如 /usr/local/sbin），"
                                         "或使 %2 如此。");
            break;
    }
    // One pass over the placeholders: a path holding "%1" stays as it is.
    return (chinese ? QStringLiteral("不以 root 身份运行：") + chineseText : QStringLiteral("Not run as root: ") + english)
        .arg(refusal.program, second);
}

QString LockHolderText(const InstanceLock::Holder& holder) {
    if (holder.pid <= 0) return QStringLiteral("a process the kernel's lock table does not name");
    return QStringLiteral("process %1 (%2) of user %3").arg(QString::number(holder.pid), holder.command, holder.user);
}

QString LockRefusalText(const InstanceLock& lock, const QString& lockFile, const QString& language) {
    const bool chinese = IsChinese(language);
    const InstanceLock::Holder& holder = lock.holder();
    const QString who = chinese ? (holder.pid > 0 ? QStringLiteral("用户 %3 的进程 %1（%2）")
                                                        .arg(QString::number(holder.pid), holder.command, holder.user)
                                                  : QStringLiteral("一个内核锁表中未列出的进程"))
                                : LockHolderText(holder);
    switch (lock.state()) {
        case InstanceLock::State::HeldByOther:
            return chinese ? QStringLiteral("%1 被%2占用，并非本用户的 Tarvesk，因此 Tarvesk 不在此文件夹中启动。"
                                            "请结束该进程，然后重新启动 Tarvesk。")
                                 .arg(lockFile, who)
                           : QStringLiteral("%1 is held by %2, not by a Tarvesk of this user, so Tarvesk does not "
                                            "start in this folder. End that process, then start Tarvesk again.")
                                 .arg(lockFile, who);
        case InstanceLock::State::Refused:
            return chinese ? QStringLiteral("%1 并非只属于 root（其他用户拥有它、可以打开它或正占用它），而其所在文件夹"
                                            "可被其他用户修改，root 既不等待也不替换它，因此 Tarvesk 不在此文件夹中启动。"
                                            "请使该文件夹属于 root 且只有 root 可写，或从这样的文件夹（例如 /opt/tarvesk）"
                                            "运行 Tarvesk。")
                                 .arg(lockFile)
                           : QStringLiteral("%1 is not root's alone (another user owns it, may open it or holds it), "
                                            "and its folder can be changed by another user, so root neither waits on "
                                            "it nor replaces it, and Tarvesk does not start in this folder. Make the "
                                            "folder root's and writable by root alone, or run Tarvesk from one that is "
                                            "(such as /opt/tarvesk).")
                                 .arg(lockFile);
        default:
            return {};
    }
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

namespace {

// "45 s", "4 min 12 s", "2 h 5 min", "3 d 4 h": the two largest units.
QString DurationText(qint64 seconds, bool chinese) {
    struct Unit {
        qint64 seconds;
        const char* english;
        const char* chinese;
    };
    static const Unit kUnits[] = {{86400, "d", "天"}, {3600, "h", "小时"}, {60, "min", "分"}, {1, "s", "秒"}};
    seconds = std::max<qint64>(seconds, 0);
    QStringList parts;
    for (const Unit& unit : kUnits) {
        const qint64 count = seconds / unit.seconds;
        seconds %= unit.seconds;
        if (parts.isEmpty() && count == 0 && unit.seconds != 1) continue;
        parts << QStringLiteral("%1 %2").arg(count).arg(QString::fromUtf8(chinese ? unit.chinese : unit.english));
        if (parts.size() == 2) break;
    }
    return parts.join(QLatin1Char(' '));
}

}  // namespace

QString SiteBackText(const QDateTime& since, const QDateTime& now, bool afterReboot, const QString& language) {
    const bool chinese = IsChinese(language);
    // A Latin word stands a blank apart from the Chinese text before it.
    const QString action = chinese ? QString::fromUtf8(afterReboot ? "电脑重启" : " IIS 重启")
                                   : QLatin1String(afterReboot ? "the reboot (Reset Computer)"
                                                               : "the restart (Reset IIS)");
    if (!since.isValid()) {
        return chinese ? QStringLiteral("页面已恢复正常；最后的操作是%1。").arg(action)
                       : QStringLiteral("The page is good again; the last action was %1.").arg(action);
    }
    const QString bad = DurationText(since.secsTo(now), chinese);
    const QString from = FormatGeneralDateTime(since);
    return chinese ? QStringLiteral("页面已恢复正常，此前失效 %1（自 %2 起）；最后的操作是%3。").arg(bad, from, action)
                   : QStringLiteral("The page is good again after %1 bad (since %2); the last action was %3.")
                         .arg(bad, from, action);
}

QString CertificateText(const QString& host, const QDateTime& expiry, qint64 secondsLeft, const QString& language) {
    // Whole days, a part of a day counting as one: a certificate made for
    // three days has three days left.
    const qint64 days = std::max<qint64>((secondsLeft + 86399) / 86400, 0);
    const QString when = FormatGeneralDateTime(expiry.toLocalTime());
    if (IsChinese(language)) {
        return QStringLiteral("%1 的证书将于 %2 到期，还剩 %3 天。").arg(host, when).arg(days);
    }
    return QStringLiteral("The certificate of %1 expires on %2, in %3 day%4.")
        .arg(host, when)
        .arg(days)
        .arg(days == 1 ? QString() : QStringLiteral("s"));
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
