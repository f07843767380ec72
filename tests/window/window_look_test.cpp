// The window's look: every caption fits its control in both languages, and
// the window is rendered to PNG files for people to look at.
#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include "window/support/window_fixture.h"

namespace tarvesk {
namespace {

class WindowLook : public WindowTest {
protected:
    // Captions that do not fit their control, as "name: text".
    QStringList clipped() {
        QStringList out;
        for (QLabel* l : window().findChildren<QLabel*>()) {
            if (l->text().isEmpty()) continue;
            if (l->fontMetrics().horizontalAdvance(l->text()) > l->width()) out << l->objectName() + ": " + l->text();
            if (l->fontMetrics().height() > l->height() + 2) out << l->objectName() + " (height)";
        }
        for (QAbstractButton* b : window().findChildren<QAbstractButton*>()) {
            if (b->text().isEmpty()) continue;
            const int needed = qobject_cast<QCheckBox*>(b) ? b->sizeHint().width()
                                                            : b->fontMetrics().horizontalAdvance(b->text()) + 8;
            if (needed > b->width() && b->sizeHint().width() > b->width()) out << b->objectName() + ": " + b->text();
        }
        for (QGroupBox* g : window().findChildren<QGroupBox*>()) {
            if (g->fontMetrics().horizontalAdvance(g->title()) + 16 > g->width()) out << g->objectName();
            // The caption's rectangle clips it: a CJK face is taller than the Latin one.
            QStyleOptionGroupBox option;
            option.initFrom(g);
            option.text = g->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect title = g->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, g);
            if (g->fontMetrics().boundingRect(g->title()).height() > title.height()) out << g->objectName() + " (height)";
        }
        return out;
    }

    void render(const QString& name) {
        const QString dir = QStringLiteral(TARVESK_RENDER_DIR);
        QDir().mkpath(dir);
        window().show();
        EXPECT_TRUE(window().grab().save(dir + "/" + name + ".png"));
    }
};

TEST_F(WindowLook, CaptionsFitInEnglishChineseAndTheDesignCaptions) {
    writeIni("[HowToMonitor]\nPageURL=http://www.example.com/\nInterval=10\nCmdResetIIS=systemctl restart nginx\n"
             "ResetIIS=1\nPageFailureThreshold=2\nCmdResetComputer=systemctl reboot\nResetComputer=1\n"
             "IISResetThreshold=2\nAbortMonitor=1\nComputerResetThreshold=2\n"
             "[HowtoNotify]\nNotifyIISReset=1\nNotifyComputerReset=1\nNotifyAbortMonitor=1\n"
             "ReceiverEmail=ops@example.com\nSenderEmail=tarvesk@example.com\nSenderSMTP=smtp.example.com\n"
             "SenderAccount=tarvesk@example.com\nSenderPassword=secret\n[Status]\nLanguage=fr\n");
    EXPECT_EQ(clipped().join(" | ").toStdString(), "");
    render("window-design");
    window().SetLanguage("eng");
    EXPECT_EQ(clipped().join(" | ").toStdString(), "");
    render("window-english");
    window().SetLanguage("cn");
    EXPECT_EQ(clipped().join(" | ").toStdString(), "");
    render("window-chinese");
}

}  // namespace
}  // namespace tarvesk
