#include "SettingsFixture.h"

#include "ZOZHelpWindows.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

using namespace ZOZ;

namespace {

class HelpWindowTest : public ZOZTest::SettingsFixture
{
protected:
    // As the application does at start-up.
    void SetUp() override
    {
        ZOZTest::SettingsFixture::SetUp();
        HelpWindows::install();
    }

    void TearDown() override
    {
        HelpWindows::uninstall();
        ZOZTest::SettingsFixture::TearDown();
    }

    // Runs `inspect` on the modal window once it is shown, then closes it.
    void whenShown(std::function<void(QWidget *)> inspect)
    {
        QTimer::singleShot(0, [this, inspect] {
            QWidget *window = QApplication::activeModalWidget();
            m_seen = window != nullptr;
            if (!window)
                return;
            inspect(window);
            if (auto *dialog = qobject_cast<QDialog *>(window))
                dialog->done(0);
        });
    }

    bool m_seen = false;
};

} // namespace

TEST_F(HelpWindowTest, HelpWindowShowsTheHelpText)
{
    settings->setHasGraphicalUI(true);
    QString shown;
    whenShown([&](QWidget *window) {
        EXPECT_EQ(window->width(), 640);
        EXPECT_GE(window->minimumHeight(), 420);
        const auto *text = window->findChild<QPlainTextEdit *>();
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->isReadOnly());
        shown = text->toPlainText();
        const auto *ok = window->findChild<QPushButton *>();
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->text(), QStringLiteral("Ok"));
        EXPECT_EQ(ok->width(), 120);
    });
    ::testing::internal::CaptureStdout();
    settings->showHelp();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string());
    EXPECT_TRUE(m_seen);
    EXPECT_EQ(shown, settings->helpText());
}

TEST_F(HelpWindowTest, VersionBoxShowsTheVersionText)
{
    settings->setHasGraphicalUI(true);
    QString shown;
    whenShown([&](QWidget *window) {
        auto *box = qobject_cast<QMessageBox *>(window);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        EXPECT_GE(box->width(), 640);
    });
    settings->showVersion();
    EXPECT_TRUE(m_seen);
    EXPECT_EQ(shown, settings->versionText());
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
