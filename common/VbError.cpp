#include "common/VbError.h"

namespace melodeck {

VbError VbError::typeMismatch() {
    return VbError(TypeMismatch, QStringLiteral("型が一致しません。"));
}
VbError VbError::overflow() {
    return VbError(Overflow, QStringLiteral("オーバーフローしました。"));
}
VbError VbError::subscript() {
    return VbError(SubscriptOutOfRange, QStringLiteral("インデックスが有効範囲にありません。"));
}

} // namespace melodeck
