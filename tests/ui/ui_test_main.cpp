// The ui tests' main: one application object for every test, on the offscreen platform unless
// the environment names another (the end-to-end tests bring their own X display).
#include <gtest/gtest.h>

#include <QtGlobal>

#include "ui/application.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  kestrane::KestraneApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
