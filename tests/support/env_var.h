#pragma once
// Sets (or, with a null value, clears) an environment variable for a scope.
#include <cstdlib>
#include <string>

namespace testsupport {

class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvVar() {
        if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
        else ::unsetenv(name_.c_str());
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};

}  // namespace testsupport
