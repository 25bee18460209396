#include "scoped_state.h"

#include <QDir>
#include <gtest/gtest.h>

namespace melodeck::test {

ScopedEnv::ScopedEnv(std::initializer_list<const char*> names,
                     const std::optional<QByteArray>& value) {
    for (const char* name : names) {
        saved_.push_back({name, qEnvironmentVariableIsSet(name)
                                    ? std::optional<QByteArray>(qgetenv(name))
                                    : std::nullopt});
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    for (const Saved& s : saved_) {
        if (s.value)
            qputenv(s.name.constData(), *s.value);
        else
            qunsetenv(s.name.constData());
    }
}

ScopedEnv WithoutProxy() {
    return ScopedEnv(
        {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"},
        std::nullopt);
}

ScopedCurrentDir::ScopedCurrentDir(const QString& path) : saved_(QDir::currentPath()) {
    EXPECT_TRUE(QDir::setCurrent(path)) << path.toStdString();
}

ScopedCurrentDir::~ScopedCurrentDir() {
    EXPECT_TRUE(QDir::setCurrent(saved_)) << saved_.toStdString();
}

// What was in force before comes back as set values: where the program had
// taken them from its executable, they are the same texts.
} // namespace melodeck::test
