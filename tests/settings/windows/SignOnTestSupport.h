// A fresh run for the sign-on window tests: settings in a temporary etc folder, the FlashFiler
// configuration in a temporary folder, the logged-on user "kari", the log beside them.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

#include "settings/SettingsTestSupport.h"
#include "settings/Felles.h"
#include "settings/IniFile.h"
#include "settings/windows/ModalSeam.h"
#include "settings/windows/winfuncs.h"

namespace settings_test {

class SignOnRun {
 public:
  SignOnRun() {
    InitSettingsStore({etc_});
    SetLogFolder(root_.Path());
  }
  ~SignOnRun() { SetLogFolder(""); }
  SignOnRun(const SignOnRun&) = delete;
  SignOnRun& operator=(const SignOnRun&) = delete;

  const std::string& Etc() const { return etc_; }
  std::string Root() const { return root_.Path(); }

  // A key of section "STANDARD" as the file on disk holds it; nullopt when missing.
  std::optional<std::string> OnDisk(const std::string& fileName, const std::string& key) const {
    return IniFile::Load(etc_ + fileName).Read("STANDARD", key);
  }
  // Writes a settings file of the etc folder with the given lines under "[STANDARD]".
  void WriteFile(const std::string& fileName, const std::string& lines) const {
    WriteBytes(etc_ + fileName, "[STANDARD]\n" + lines);
  }

 private:
  TempDir root_;
  std::string etc_ = root_.MakeFolder("etc");
  EnvVar ffConfig_{"FF_CONFIG_DIR", root_.Path() + "flashfiler"};
  EnvVar username_{"USERNAME", std::string("kari")};
  EnvVar user_{"USER", std::nullopt};
  EnvVar logname_{"LOGNAME", std::nullopt};
};

// Answers every modal dialog of type Dialog with script; the result is the dialog's own.
template <typename Dialog>
int Answer(const std::function<void(Dialog&)>& script, const std::function<int()>& show) {
  ScopedModalHandler scripted([&](QDialog& dialog) {
    auto& shown = dynamic_cast<Dialog&>(dialog);
    script(shown);
    return shown.result();
  });
  return show();
}

}  // namespace settings_test
