#pragma once
// Errors raised by the program's routines. They carry a user-facing
// description (Japanese where the program words it, the engine's text otherwise)
// and a number in the tradition of the runtime they replace.

#include <QString>
#include <stdexcept>

namespace melodeck {

class VbError : public std::runtime_error {
public:
    enum Number : int {
        Overflow = 6,
        SubscriptOutOfRange = 9,
        TypeMismatch = 13,
        FileNotFound = 53,
        FileAccess = 75,
        Database = 3000,
    };

    VbError(int number, QString description)
        : std::runtime_error(description.toStdString()), number_(number),
          description_(std::move(description)) {}

    int number() const { return number_; }
    const QString& description() const { return description_; }

    static VbError typeMismatch();
    static VbError overflow();
    static VbError subscript();

private:
    int number_;
    QString description_;
};

} // namespace melodeck
