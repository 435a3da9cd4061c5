// Test support of the desktop tests: one QApplication on Qt's offscreen platform (set
// here too, so that a test binary run by hand needs no display).
#pragma once

#include <QApplication>
#include <QFont>
#include <cstdlib>
#include <gtest/gtest.h>

namespace desk::testing {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "alloc_desktop_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);  // text pixels keep their exact colour
    QApplication::setFont(font);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

}  // namespace desk::testing
