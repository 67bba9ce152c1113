#pragma once

// An environment variable set (unset with nullptr) until the end of the scope, then as it was.

#include <QByteArray>
#include <QtGlobal>

namespace kestrane::test {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    Set(value);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { Set(had_ ? old_.constData() : nullptr); }

 private:
  void Set(const char* value) { value ? qputenv(name_, value) : qunsetenv(name_); }
  const char* name_;
  bool had_;
  QByteArray old_;
};

}  // namespace kestrane::test
