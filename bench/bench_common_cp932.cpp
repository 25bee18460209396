// Code page 932 throughput on an import-sized list: 300,000 lines decoded
// and measured with ByteLen, as the import does for every line.
// Exits non-zero when either pass takes longer than a second.

#include "common/Cp932.h"
#include "common/ModCommon.h"

#include <chrono>
#include <cstdio>
#include <vector>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

int main() {
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    const QString sample[] = {
        u"12345,山田太郎,夢の歌をうたおう,あの空の向こうへ飛んで行け,ﾊﾓﾘ,作詞者名,作曲者名,04:35"_s,
        u"67890,Polmeria,Kirameki〜na−Love,①②③ I wanna sing,,髙橋,ＡＢＣ,03:10"_s,
    };
    std::vector<QByteArray> lines;
    lines.reserve(300000);
    for (int i = 0; i < 300000; ++i)
        lines.push_back(cp932::encode(sample[i % 2] + QString::number(i)));

    const auto t0 = Clock::now();
    std::vector<QString> decoded;
    decoded.reserve(lines.size());
    for (const QByteArray& line : lines)
        decoded.push_back(cp932::decode(line));
    const auto t1 = Clock::now();
    long long total = 0;
    for (const QString& text : decoded)
        total += ModCommon::ByteLen(text);
    const auto t2 = Clock::now();

    std::printf("cp932 decode of 300000 lines: %.1f ms\n", ms(t0, t1));
    std::printf("ByteLen of 300000 lines: %.1f ms (%lld bytes)\n", ms(t1, t2), total);
    return ms(t0, t1) > 1000 || ms(t1, t2) > 1000 ? 1 : 0;
}
