// The operator program serves the status page where the configuration dialog says, from the
// settings loaded at program start on, and follows each change when the dialog closes.
#include "gui/operator_program.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "gui/config_dialog.h"
#include "window_test_support.h"

namespace velora {
namespace {

TEST(OperatorProgramTest, TheStatusServerFollowsTheConfiguredAddress) {
  testing::WindowFolder folder;
  folder.Configure(
      [](SettingsForm& form) { form.SetText(SettingId::EditCIHttpStatus, "127.0.0.1:0"); });
  const std::unique_ptr<OperatorProgram> program = folder.MakeProgram();
  ASSERT_TRUE(program->Window().FormCreate(1));
  const QtStatusServer& status = program->StatusServer();
  EXPECT_TRUE(status.Url().starts_with("http://127.0.0.1:")) << status.Url();
  TForm2& dialog = *program->Window().Configuration();
  auto* field = static_cast<QLineEdit*>(dialog.Field(SettingId::EditCIHttpStatus));
  for (const auto& [typed, url] : {std::pair{"127.0.0.2:0", "http://127.0.0.2:"}, {"", ""}}) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, typed);
    EXPECT_TRUE(dialog.FormClose());
    EXPECT_EQ(status.Listening(), *url != '\0') << typed;
    EXPECT_TRUE(status.Url().starts_with(url)) << status.Url();
  }
}

}  // namespace
}  // namespace velora
