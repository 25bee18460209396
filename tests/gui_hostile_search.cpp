// Typed search text stays data. Whatever a condition field holds (quotes,
// comment and statement marks, order words, every pattern character, NUL,
// very long texts), the statement that reaches the engine is the search with
// that text inside its one pattern literal: the engine's program for it is
// the program for the same search with a harmless text. The search then finds
// what the pattern rules say, or warns that the pattern cannot be read and
// keeps the list; the database file never changes.
#include "support/hostile_support.h"
#include "support/search_songs.h"
#include "support/store_TestDb.h"
#include "support/window_fixture.h"

#include "search/SearchQuery.h"
#include "store/JetLike.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;
using test::ShapeOf;
using test::shownNumbers;
using test::WindowFixture;

namespace {

class TypedText : public ::testing::Test {
protected:
    void SetUp() override {
        db = test::createSearchSongs(f.folder());
        test::insertSongs(db, u"MeloDeck"_s,
                          {{10, u"x"_s, u"It's -- a ; test"_s, u"[!]"_s},
                           {11, u"y"_s, u"'; DROP TABLE MeloDeck; --"_s, u"/* c */"_s},
                           {12, u"z"_s, u"50% OFF_SALE"_s, u"a]b"_s},
                           {13, u"w"_s, u"#1 ヒット?"_s, u"*"_s},
                           {14, u"O'Brien -- ORDER BY"_s, u"'); DELETE FROM PickupList; --"_s,
                            u"ORDER BY 曲名 DESC /*"_s},
                           {15, u"O'Brien -- ORDER BY"_s, u"'); DELETE FROM PickupList; --"_s,
                            u"ORDER BY 曲名 DESC /*"_s}});
        w = f.start();
        ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
        w->datList.Database().setStatementLog(&log);
        for (QCheckBox* c : {w->chk歌手名に, w->chk曲名に, w->chk歌い出しに})
            frmMeloDeck::setChkValue(c, 1);
        w->optハモリ[2]->setChecked(true);
    }
    void TearDown() override {
        if (w)
            w->datList.Database().setStatementLog(nullptr);
    }

    // The song numbers whose field (grid column) matches "*" + text + "*"
    // by the pattern rules, in key order; nullopt when the pattern is malformed.
    std::optional<QString> expected(int col, const QString& text) {
        const auto pattern = jetlike::Pattern::compile((u'*' + text + u'*').toStdString());
        if (!pattern)
            return std::nullopt;
        QStringList numbers;
        for (const QStringList& r :
             test::rows(db, u"SELECT 曲番号, * FROM MeloDeck ORDER BY 曲番号"_s, {}))
            if (r.size() > col && !r[col].isNull() && pattern->matches(r[col].toStdString()))
                numbers << r[0];
        return numbers.join(u',');
    }

    // The title search the window must send for text, written out here
    // rather than taken from the builder the window itself calls.
    static QString titleSearch(const QString& text) {
        return u"SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*"_s +
               QString(text).replace(u"'"_s, u"''"_s) + u"*' ORDER BY 曲番号"_s;
    }

    search::Conditions conditions(const QString& singer, const QString& title,
                                  const QString& lyric) const {
        search::Conditions c;
        c.rows = {search::ConditionRow{1, singer}, {1, title}, {1, lyric}};
        return c;
    }

    WindowFixture f;
    frmMeloDeck* w = nullptr;
    QString db;
    std::vector<QString> log;
};

} // namespace

TEST_F(TypedText, EachHostileTextIsOnePatternLiteral) {
    const QString nul(QChar(u'\0'));
    const QStringList texts = {
        u"'"_s,
        u"''"_s,
        u"' OR '1'='1"_s,
        u"' OR 1=1 --"_s,
        u"--"_s,
        u";"_s,
        u"'; DROP TABLE MeloDeck; --"_s,
        u"ORDER BY"_s,
        u"' ORDER BY 曲番号 DESC --"_s,
        u"/*"_s,
        u"\" OR \"\"=\""_s,
        u"\\"_s,
        u"%"_s,
        u"_"_s,
        u"*"_s,
        u"?"_s,
        u"#"_s,
        u"["_s,
        u"]"_s,
        u"[!]"_s,
        u"[]"_s,
        u"a]b"_s,
        u"[*]"_s,
        u"[z-a]"_s,
        nul,
        u"ab"_s + nul + u"'; DELETE FROM MeloDeck; --"_s,
        // As long as a text field takes (32767 characters).
        QString(32767, u'a'),
        QString(32767, u'\''),
        u"*?"_s.repeated(16000),
        u"[!"_s.repeated(16000),
    };
    const QString dbBefore = QString::fromLatin1(test::Digest(db));
    const auto songsBefore = test::rows(db, u"SELECT * FROM MeloDeck"_s);
    const test::StatementShape safe = ShapeOf(db, titleSearch(u"x"_s));
    ASSERT_TRUE(safe.ok) << safe.error.toStdString();
    ASSERT_EQ(safe.likeCalls, 1);

    for (const QString& text : texts) {
        const std::string shown = text.left(40).toStdString();
        SCOPED_TRACE(shown);
        w->cmd抽出解除->click();
        const QString listBefore = shownNumbers(w->flgList);
        f.warnings.clear();
        log.clear();
        w->txt曲名->setText(text);
        ASSERT_TRUE(w->txt曲名->text() == text); // the field takes the text as it is
        w->cmd抽出->click();

        // The statement that reached the engine is the search with the text
        // as one literal.
        ASSERT_FALSE(log.empty());
        const QString reached = log.back();
        EXPECT_TRUE(reached == titleSearch(text));
        const test::StatementShape shape = ShapeOf(db, reached);
        if (text.contains(nul)) {
            // The engine cannot be given a NUL; the data layer refuses the text.
            EXPECT_FALSE(shape.ok);
            ASSERT_EQ(f.warnings.size(), 1);
            EXPECT_EQ(f.warnings[0], u"SQL ステートメントに NUL 文字が含まれています。"_s);
        } else {
            // One statement, the same program as the harmless search.
            ASSERT_TRUE(shape.ok) << shape.error.toStdString();
            EXPECT_EQ(shape.program, safe.program);
            EXPECT_EQ(shape.likeCalls, 1);
            const std::optional<QString> found = expected(3, text);
            if (found) {
                EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
                EXPECT_EQ(shownNumbers(w->flgList), *found);
                EXPECT_TRUE(w->bSelected);
            } else {
                ASSERT_EQ(f.warnings.size(), 1);
                EXPECT_EQ(f.warnings[0], jetlike::malformedDescription());
            }
        }
        if (!f.warnings.isEmpty()) {
            EXPECT_EQ(shownNumbers(w->flgList), listBefore);
            EXPECT_FALSE(w->bSelected);
        }
    }
    EXPECT_EQ(QString::fromLatin1(test::Digest(db)), dbBefore);
    EXPECT_EQ(test::rows(db, u"SELECT * FROM MeloDeck"_s), songsBefore);
}

TEST_F(TypedText, AllRowsAtOnceAndAHeaderSortAfterwards) {
    const QString singer = u"'Brien -- ORDER BY"_s;
    const QString title = u"'); DELETE FROM PickupList; --"_s;
    const QString lyric = u"ORDER BY 曲名 DESC /*"_s;
    w->txt歌手名->setText(singer);
    w->txt曲名->setText(title);
    w->txt歌い出し->setText(lyric);
    w->cmd抽出->click();
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(shownNumbers(w->flgList), u"14,15"_s);
    const auto harmless = [&](std::int32_t col, bool desc) {
        return ShapeOf(db, search::BuildSearchSource(w->sListTable, w->sColName,
                                                     conditions(u"x"_s, u"y"_s, u"z"_s), col, desc))
            .program;
    };
    test::StatementShape shape = ShapeOf(db, log.back());
    ASSERT_TRUE(shape.ok) << shape.error.toStdString();
    EXPECT_EQ(shape.likeCalls, 3);
    EXPECT_EQ(shape.program, harmless(0, false));

    // A header click cuts the text at the order clause the program appended,
    // never at order words inside a literal.
    test::clickCell(w->flgList, 0, 1);
    test::clickCell(w->flgList, 0, 1);
    ASSERT_EQ(w->lListOrderCol, 1);
    ASSERT_TRUE(w->bListOrderDesc);
    EXPECT_EQ(shownNumbers(w->flgList), u"15,14"_s);
    for (const QString& text : {singer, title, lyric})
        EXPECT_TRUE(
            log.back().contains(u" LIKE '*"_s + QString(text).replace(u"'"_s, u"''"_s) + u"*' "_s))
            << log.back().toStdString();
    shape = ShapeOf(db, log.back());
    ASSERT_TRUE(shape.ok) << shape.error.toStdString();
    EXPECT_EQ(shape.likeCalls, 3);
    EXPECT_EQ(shape.program, harmless(1, true));
    EXPECT_TRUE(f.warnings.isEmpty());
    EXPECT_EQ(test::scalar(db, u"SELECT COUNT(*) FROM MeloDeck"_s), u"15"_s);
}
