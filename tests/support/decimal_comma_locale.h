// Puts the whole process in a decimal-comma locale (de_DE.UTF-8, where strtod wants "1,5") for
// the life of the object, as Qt does from LANG on a German installation. When the locale is not
// installed it is generated into a private folder with localedef; active() is false when neither
// works, and the test then skips. Back to the "C" locale afterwards.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tarvel::testing {

class TDecimalCommaLocale {
 public:
  TDecimalCommaLocale() {
    if (!Set()) {
      dir_ =
          std::filesystem::temp_directory_path() / ("tarvel-locale-" + std::to_string(::getpid()));
      std::filesystem::create_directories(dir_);
      const std::string cmd =
          "localedef -i de_DE -f UTF-8 '" + (dir_ / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
      if (std::system(cmd.c_str()) == 0) {
        ::setenv("LOCPATH", dir_.c_str(), 1);
        Set();
      }
    }
  }
  ~TDecimalCommaLocale() {
    std::setlocale(LC_ALL, "C");
    if (!dir_.empty()) {
      ::unsetenv("LOCPATH");
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
  }
  TDecimalCommaLocale(const TDecimalCommaLocale&) = delete;
  TDecimalCommaLocale& operator=(const TDecimalCommaLocale&) = delete;

  // True when the process now reads "1,5" and not "1.5" with strtod.
  bool active() const { return active_; }

 private:
  bool Set() {
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
              std::strtod("1,5", nullptr) == 1.5 && std::strtod("1.5", nullptr) == 1.0;
    return active_;
  }

  std::filesystem::path dir_;
  bool active_ = false;
};

}  // namespace tarvel::testing
