#pragma once
// Process-wide state a test changes for a while: each guard sets it on
// construction and puts back what was there before when it goes, also when
// the test fails half-way, so that no later test inherits it.

#include <QByteArray>
#include <QString>
#include <initializer_list>
#include <optional>
#include <vector>

namespace melodeck::test {

// Environment variables set to value, or removed with std::nullopt.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<const char*> names, const std::optional<QByteArray>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    struct Saved {
        QByteArray name;
        std::optional<QByteArray> value;
    };
    std::vector<Saved> saved_;
};

// No proxy from the environment: downloads from a loopback server go there
// directly.
ScopedEnv WithoutProxy();

// The current folder.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const QString& path);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    QString saved_;
};

} // namespace melodeck::test
