#include "window/caption_table.h"

namespace tarvesk {

const std::vector<CaptionRow>& CaptionTable() {
    static const std::vector<CaptionRow> table = {
        {"MainWindow", "Tarvesk & Auto Reset", "Tarvesk及自动重启"},
        {"lblSupport", "Techinical Support", "技术支持"},
        {"Frame1", "Settings - How to Monitor", "设置 - 如何监测"},
        {"Label1", "Page URL to Check:", "待监测的页面 URL："},
        {"cmdCheckPage", "Try Check", "试试此页面"},
        {"Label3", "Page Check Interval:", "页面监测间隔："},
        {"Label4", "Seconds", "秒"},
        {"Label6", "IIS Reset Command:", "IIS 重启命令："},
        {"cmdIISReset", "Try Reset", "试试此命令"},
        {"Label11", "IIS Reset Trigger:", "IIS 重启及触发条件："},
        {"Label25", "Continuous", "连续"},
        {"Label10", "Page Check failures", "次页面失效"},
        {"Label9", "Computer Reset Command:", "电脑重启命令："},
        {"cmdComputerReset", "Try Reset", "试试此命令"},
        {"Label13", "Computer Reset Trigger:", "电脑重启及触发条件："},
        {"Label26", "Continuous", "连续"},
        {"Label12", "IIS Reset failures", "次 IIS 重启后仍失效"},
        {"Label8", "Abort Monitor Trigger:", "放弃监测及触发条件："},
        {"Label27", "Continuous", "连续"},
        {"Label15", "Computer Reset failures", "次电脑重启后仍失效"},
        {"Frame3", "Settings - Email Notice", "设置 - Email 通知"},
        {"Label20", "Events to Notify:", "待通知的事件："},
        {"Label21", "IIS Reset", "IIS 重启"},
        {"Label22", "Computer Reset", "电脑重启"},
        {"Label23", "Abort Monitor", "放弃监测"},
        {"Label16", "Email of Rceiver:", "Email 收件地址："},
        {"Label17", "Email of Sender:", "Email 发件地址："},
        {"cmdSendEmail", "Try Send", "试试发送"},
        {"Label18", "SMTP Server of Sender:", "SMTP 服务器地址："},
        {"Label19", "Account of Sender:", "SMTP 登录帐号："},
        {"Label24", "Password of Sender:", "SMTP 登录密码："},
        {"Label28", "Warn days before the certificate expires:", "证书到期前提前警告的天数："},
        {"Label29", "Notify by Email", "以 Email 通知"},
        {"Frame2", "Status -Monitor Actions", "状态 - 动作统计"},
        {"Label5", "Time of Start Monitor:", "监测开始时间："},
        {"Label14", "Count of Page Check:", "页面监测次数："},
        {"Label2", "Count of IIS Reset:", "IIS 重启次数："},
        {"Label7", "Count of Computer Reset:", "电脑重启次数："},
        {"cmdSave", "Save Settings", "保存设置"},
        {"cmdStartMonitor", "Start Monitor", "开始监测"},
        {"cmdStopMonitor", "Stop Monitor", "停止监测"},
    };
    return table;
}

}  // namespace tarvesk
