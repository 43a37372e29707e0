// libFuzzer target: gateway answer pages and the HTML form reader. Any
// bytes a web server may send must parse without crashing, and the
// result tables must stay rectangular.
#include "core/TextUtil.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // The same bytes as the two character sets a page may declare.
    for (const QString &text : {mv::FromAnsi(bytes), QString::fromUtf8(bytes)}) {
        const QString page = mv::JoinAnswerLines(mv::SplitPageLines(text));
        int rows = 0;
        mv::ParseStatementAnswer(page, rows);
        (void)mv::GatewayErrorText(page);
        mv::GatewayTables t;
        mv::ParseQueryAnswer(page, t, rows);
        if (t.names.size() != t.types.size() || t.names.size() != t.cells.size())
            std::abort();
        // Every record counted is a row of the tables.
        const qsizetype mark = page.indexOf(QLatin1String("+++"));
        const bool nullsUnnamed = QStringView(page).left(mark < 0 ? page.size() : mark)
                                      .contains(QLatin1String(mv::GatewayNullsUnnamedMeta));
        if (nullsUnnamed && !t.cells.isEmpty() && t.cells.first().size() != rows)
            std::abort();
        for (const QStringList &c : t.cells)
            if (c.size() != t.cells.first().size())
                std::abort();
        mv::MemTable table;
        if (!mv::BuildGatewayTable(t, table))
            std::abort();
        if (table.RecordCount() != (t.cells.isEmpty() ? 0 : int(t.cells.first().size())))
            std::abort();
        for (table.First(); !table.Eof(); table.Next())
            for (int i = 0; i < table.FieldCount(); ++i)
                (void)table.FieldAt(i)->AsString();

        mv::HtmlForm form;
        if (mv::FindHtmlForm(text, QStringLiteral("form1"), form))
            (void)mv::EncodeFormData(form, QStringLiteral("Submit"), "windows-1252");
    }
    return 0;
}
