// libFuzzer target for the RTF reader and RtfToText.
// Build: cmake -S . -B build-fuzz -G Ninja -DMARKTVOLL_FUZZ=ON -DMARKTVOLL_TESTS=OFF
//        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined
// Run:   build-fuzz/fuzz_rtf -max_total_time=600 corpus tests/core/fixtures/rtf
#include "core/RtfReader.h"
#include "core/RtfToText.h"
#include "core/TextUtil.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const qsizetype n = qsizetype(size - 1);

    QString text;
    if (mode & 1) {
        // Any UTF-16 text, surrogates included.
        text = QString(reinterpret_cast<const QChar *>(bytes), n / 2);
    } else {
        text = mv::FromAnsi(bytes, n);
    }
    if (mode & 2)
        text.prepend(QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}"));
    const int indent = int(int8_t(mode)) >> 2;

    const QString plain = mv::RtfToText(text, indent, false);
    const QString html = mv::RtfToText(text, indent, true);
    const bool rtf = text.left(5).contains(QLatin1String("\\rtf"), Qt::CaseInsensitive);
    if (rtf) {
        for (const QString *s : {&plain, &html})
            for (QChar c : *s)
                if (c == QLatin1Char('{') || c == QLatin1Char('}') || c == QLatin1Char('[') || c == QLatin1Char(']'))
                    abort();
    } else if (plain != text || html != text) {
        abort();
    }
    const mv::MemoPreview p = mv::MemoFirstLine(text);
    (void)p;

    mv::RtfDocument doc;
    if (mv::RtfReader::read(text, doc)) {
        for (const auto &l : doc.lines)
            if (l.start < 0 || l.length < 0 || l.start + l.length > doc.text.size())
                abort();
        for (const auto &r : doc.runs)
            if (r.format < 0 || size_t(r.format) >= doc.formats.size() || r.pos >= doc.text.size())
                abort();
        for (const auto &f : doc.formats)
            if (f.fontName < 0 || f.fontName >= doc.fontNames.size())
                abort();
    }
    return 0;
}
