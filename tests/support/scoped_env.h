#pragma once

#include <QByteArray>
#include <optional>

namespace velnor {

// Sets an environment variable (or removes it, for a null value) until the end of the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) saved_ = qgetenv(name);
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ScopedEnv(const char* name, const QByteArray& value) : ScopedEnv(name, value.constData()) {}
    ~ScopedEnv() {
        if (saved_)
            qputenv(name_, *saved_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<QByteArray> saved_;
};

}  // namespace velnor
