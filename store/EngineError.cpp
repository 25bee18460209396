#include "store/EngineError.h"

#include "common/VbError.h"
#include "store/JetLike.h"

#include <QRegularExpression>
#include <sqlite3.h>

namespace melodeck {

namespace {

// A message of the engine's that names something: its Japanese text with
// the names put in (%1, %2, ... for the pattern's groups).
struct Worded {
    const char* pattern;
    const char16_t* text;
};

const Worded kWorded[] = {
    {R"re(^no such table: (.+)$)re", u"テーブル '%1' が見つかりません。"},
    {R"re(^no such column: (.+)$)re", u"フィールド '%1' が見つかりません。"},
    {R"re(^near "(.*)": syntax error$)re",
     u"SQL ステートメントの '%1' の付近に構文エラーがあります。"},
    {R"re(^incomplete input$)re", u"SQL ステートメントが途中で終わっています。"},
    {R"re(^unrecognized token: "(.*)"$)re", u"SQL ステートメントの '%1' を読み取れません。"},
    {R"(^table (.+) has (\d+) columns but (\d+) values were supplied$)",
     u"テーブル '%1' のフィールドは %2 個ですが、%3 個の値が指定されました。"},
    {R"re(^(\d+) values for (\d+) columns$)re", u"%2 個のフィールドに %1 個の値が指定されました。"},
};

QString worded(const QString& msg) {
    for (const Worded& w : kWorded) {
        const QRegularExpression re(QString::fromLatin1(w.pattern));
        const QRegularExpressionMatch m = re.match(msg);
        if (!m.hasMatch())
            continue;
        QString text = QString::fromUtf16(w.text);
        for (int g = 1; g <= m.lastCapturedIndex(); ++g)
            text = text.arg(m.captured(g));
        return text;
    }
    return {};
}

} // namespace

QString DescribeEngineError(const QString& path, int rc, const char* engineMessage) {
    const QString msg = QString::fromUtf8(engineMessage ? engineMessage : "");
    // The program's own functions (the LIKE matcher) speak Japanese already.
    if (msg == jetlike::malformedDescription())
        return msg;
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("データベース '%1' は他のプログラムが使用中です。").arg(path);
    case SQLITE_READONLY:
        return QStringLiteral("データベース '%1' は読み取り専用のため更新できません。").arg(path);
    case SQLITE_NOTADB:
        return QStringLiteral("ファイル '%1' はデータベースではありません。").arg(path);
    case SQLITE_CORRUPT:
        return QStringLiteral("データベース '%1' が壊れています。").arg(path);
    case SQLITE_FULL:
        return QStringLiteral("ディスクがいっぱいのため '%1' に書き込めません。").arg(path);
    case SQLITE_TOOBIG:
        return QStringLiteral("値が大きすぎるため '%1' に書き込めません。").arg(path);
    case SQLITE_CANTOPEN:
        return QStringLiteral("ファイル '%1' を開けません。").arg(path);
    case SQLITE_IOERR:
        return QStringLiteral("データベース '%1' の読み書き中にディスクのエラーが発生しました。")
            .arg(path);
    default:
        break;
    }
    if (const QString w = worded(msg); !w.isEmpty())
        return w;
    return QStringLiteral("データベース エラー: ") + msg;
}

void RaiseEngineError(const QString& path, int rc, const char* engineMessage) {
    throw VbError(VbError::Database, DescribeEngineError(path, rc, engineMessage));
}

} // namespace melodeck
