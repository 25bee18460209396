#include "search_songs.h"

#include "store_TestDb.h"

namespace melodeck::test {

QString createSearchSongs(const QString& folder) {
    const QString path = test::createSongDb(folder);
    const QString harmony = QStringLiteral("○");
    std::vector<test::Song> songs = {
        {1, QStringLiteral("サザンオールスターズ"), QStringLiteral("いとしのエリー"),
         QStringLiteral("泣かした事もある"), QString()},
        {2, QStringLiteral("ｻｻﾞﾝ"), QStringLiteral("Rock'n'Roll"), QStringLiteral("ah"), harmony},
        {3, QStringLiteral("ＢＥＧＩＮ"), QStringLiteral("島人ぬ宝"),
         QStringLiteral("僕が生まれた"), harmony},
        {4, QStringLiteral("begin"), QStringLiteral("100%勇気"), QStringLiteral("もう_ずいぶん"),
         QString()},
        {5, QStringLiteral("みかん"), QStringLiteral("ﾐｶﾝ*の歌"), QStringLiteral("[abc"),
         QString()},
        {6, QStringLiteral("蜜柑"), QStringLiteral("MIKAN"), QStringLiteral("〜よ"), harmony},
        {7, QStringLiteral("スピッツ"), QStringLiteral("チェリー"), QStringLiteral("～愛してる"),
         QString()},
        {8, QStringLiteral("ビーズ"), QStringLiteral("Order By Love"), QStringLiteral("ｒｏｃｋ"),
         harmony},
        {9, QStringLiteral("ピース"), QStringLiteral("花"), QStringLiteral("ORDER BY"), QString()},
    };
    test::insertSongs(path, QStringLiteral("MeloDeck"), songs);
    return path;
}

QString shownNumbers(const FlexGrid* grid) {
    return gridColumn(grid, 1).join(QLatin1Char(','));
}

} // namespace melodeck::test
