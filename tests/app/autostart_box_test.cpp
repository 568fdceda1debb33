// The settings tab's "Запускать при входе в систему" on a temporary XDG_CONFIG_HOME.
#include <QCheckBox>
#include <QLabel>

#include "platform/autostart.h"
#include "platform/paths.h"
#include "tests/app/window_fixture.h"
#include "tests/support/scoped_env.h"

namespace korvex::test {
namespace {

// The box shows the entry as the window finds it at start; a click writes or removes it. A file of
// that name that is not ours is left as it is and said, and the box stays unticked.
TEST_F(WindowTest, TheAutostartBoxShowsWritesAndRemovesTheEntry) {
    TempDir config;
    ScopedEnv home("XDG_CONFIG_HOME", config.path().string());
    const std::string entry = autostartEntryPath(config.path().string());
    open().AutostartCheckBox->click();
    EXPECT_EQ(readAutostart(entry, executablePath()).state, AutostartState::On);
    close();
    EXPECT_TRUE(open().AutostartCheckBox->isChecked());
    m_form->AutostartCheckBox->click();
    EXPECT_FALSE(m_form->AutostartCheckBox->isChecked());
    EXPECT_FALSE(std::filesystem::exists(entry));

    const std::string foreign = "[Desktop Entry]\nType=Application\nExec=korvex\n";
    config.write("autostart/korvex.desktop", foreign);
    close();
    TForm1& form = open();
    EXPECT_FALSE(form.AutostartCheckBox->isChecked());
    EXPECT_TRUE(form.AutostartNote->isVisibleTo(form.tab2));
    m_errors.clear();
    form.AutostartCheckBox->click();
    EXPECT_FALSE(form.AutostartCheckBox->isChecked());
    EXPECT_EQ(readFile(entry), foreign);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QString::fromStdString(entry))) << m_errors[0].toStdString();
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("удалите или переименуйте")))
        << m_errors[0].toStdString();
}

}  // namespace
}  // namespace korvex::test
