#include "data/FilterExpr.h"

#include "data/FormatSettings.h"

namespace mv {

namespace {

enum class Op { Eq, Ne, Lt, Le, Gt, Ge };
enum class Domain { Text, Number, Bool, Date, Time };

struct Token {
    enum Kind { End, Ident, Str, Num, LParen, RParen, OpTok, KwAnd, KwOr, KwNot, KwTrue, KwFalse, KwNull, KwIs } kind = End;
    QString text;
    Op op = Op::Eq;
    int pos = 0; // 1-based
};

[[noreturn]] void fail(int pos, const QString &what)
{
    throw DatasetError(QStringLiteral("Fehler im Filterausdruck an Position %1: %2").arg(pos).arg(what));
}

bool identStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}

bool identChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

QVector<Token> tokenize(const QString &s)
{
    QVector<Token> out;
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (true) {
        while (i < n && s.at(i).isSpace())
            ++i;
        Token t;
        t.pos = int(i + 1);
        if (i >= n) {
            out << t;
            return out;
        }
        const QChar c = s.at(i);
        if (c == QLatin1Char('(')) {
            t.kind = Token::LParen;
            ++i;
        } else if (c == QLatin1Char(')')) {
            t.kind = Token::RParen;
            ++i;
        } else if (c == QLatin1Char('\'')) {
            t.kind = Token::Str;
            ++i;
            bool closed = false;
            while (i < n) {
                if (s.at(i) == QLatin1Char('\'')) {
                    if (i + 1 < n && s.at(i + 1) == QLatin1Char('\'')) {
                        t.text += QLatin1Char('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                t.text += s.at(i++);
            }
            if (!closed)
                fail(t.pos, QStringLiteral("Zeichenkette ohne schließendes Apostroph"));
        } else if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"');
            const qsizetype j = s.indexOf(close, i + 1);
            if (j < 0)
                fail(t.pos, QStringLiteral("Feldname ohne Abschluss '%1'").arg(close));
            t.kind = Token::Ident;
            t.text = s.mid(i + 1, j - i - 1);
            i = j + 1;
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && s.at(i + 1).isDigit())) {
            qsizetype j = i;
            while (j < n && s.at(j).isDigit())
                ++j;
            if (j < n && s.at(j) == QLatin1Char('.')) {
                ++j;
                while (j < n && s.at(j).isDigit())
                    ++j;
            }
            if (j < n && (s.at(j) == QLatin1Char('e') || s.at(j) == QLatin1Char('E'))) {
                qsizetype k = j + 1;
                if (k < n && (s.at(k) == QLatin1Char('+') || s.at(k) == QLatin1Char('-')))
                    ++k;
                if (k < n && s.at(k).isDigit()) {
                    while (k < n && s.at(k).isDigit())
                        ++k;
                    j = k;
                }
            }
            if (j < n && identChar(s.at(j)))
                fail(int(j + 1), QStringLiteral("ungültige Zahl"));
            t.kind = Token::Num;
            t.text = s.mid(i, j - i);
            i = j;
        } else if (identStart(c)) {
            qsizetype j = i;
            while (j < n && identChar(s.at(j)))
                ++j;
            t.text = s.mid(i, j - i);
            i = j;
            const QString up = t.text.toUpper();
            if (up == QLatin1String("AND"))
                t.kind = Token::KwAnd;
            else if (up == QLatin1String("OR"))
                t.kind = Token::KwOr;
            else if (up == QLatin1String("NOT"))
                t.kind = Token::KwNot;
            else if (up == QLatin1String("TRUE") || up == QLatin1String("WAHR"))
                t.kind = Token::KwTrue;
            else if (up == QLatin1String("FALSE") || up == QLatin1String("FALSCH"))
                t.kind = Token::KwFalse;
            else if (up == QLatin1String("NULL"))
                t.kind = Token::KwNull;
            else if (up == QLatin1String("IS"))
                t.kind = Token::KwIs;
            else
                t.kind = Token::Ident;
        } else if (c == QLatin1Char('=')) {
            t.kind = Token::OpTok;
            t.op = Op::Eq;
            ++i;
        } else if (c == QLatin1Char('<')) {
            t.kind = Token::OpTok;
            if (i + 1 < n && s.at(i + 1) == QLatin1Char('>')) {
                t.op = Op::Ne;
                i += 2;
            } else if (i + 1 < n && s.at(i + 1) == QLatin1Char('=')) {
                t.op = Op::Le;
                i += 2;
            } else {
                t.op = Op::Lt;
                ++i;
            }
        } else if (c == QLatin1Char('>')) {
            t.kind = Token::OpTok;
            if (i + 1 < n && s.at(i + 1) == QLatin1Char('=')) {
                t.op = Op::Ge;
                i += 2;
            } else {
                t.op = Op::Gt;
                ++i;
            }
        } else if (c == QLatin1Char('!') && i + 1 < n && s.at(i + 1) == QLatin1Char('=')) {
            t.kind = Token::OpTok;
            t.op = Op::Ne;
            i += 2;
        } else if ((c == QLatin1Char('-') || c == QLatin1Char('+')) && i + 1 < n
                   && (s.at(i + 1).isDigit() || s.at(i + 1) == QLatin1Char('.'))) {
            // Signed number literal.
            qsizetype j = i + 1;
            while (j < n && (s.at(j).isDigit() || s.at(j) == QLatin1Char('.')))
                ++j;
            t.kind = Token::Num;
            t.text = s.mid(i, j - i);
            i = j;
        } else {
            fail(t.pos, QStringLiteral("unerwartetes Zeichen '%1'").arg(c));
        }
        out << t;
    }
}

} // namespace

// ------------------------------------------------------------- the tree

struct Operand {
    enum Kind { Field, Str, Num, Bool, Null } kind = Null;
    QString text;  // literal text or field name
    int pos = 0;
    int field = -1;
    FieldType ftype = FieldType::String;
    // Literal converted to the comparison's domain.
    bool isNull = false;
    QString s;
    double d = 0;
    qint64 k = 0;
    bool b = false;
};

struct FilterExpr::Node {
    enum Kind { And, Or, Not, Cmp, IsNull, Truth, Const } kind = Const;
    std::unique_ptr<Node> a, b;
    Op op = Op::Eq;
    Domain dom = Domain::Text;
    Operand l, r;
    bool negate = false;   // IsNull: IS NOT NULL
    bool value = true;     // Const
};

using Node = FilterExpr::Node;

namespace {

class Parser {
public:
    Parser(const QVector<Token> &t) : m_t(t) {}
    std::unique_ptr<Node> parseAll()
    {
        if (peek().kind == Token::End)
            return nullptr;
        auto n = parseOr();
        if (peek().kind != Token::End)
            fail(peek().pos, QStringLiteral("Operator oder Ende erwartet"));
        return n;
    }

private:
    const Token &peek() const { return m_t.at(m_i); }
    const Token &take() { return m_t.at(m_i++); }

    std::unique_ptr<Node> parseOr()
    {
        auto left = parseAnd();
        while (peek().kind == Token::KwOr) {
            // Operator chains become nested nodes: bound them as well.
            if (++m_ops > 5000)
                fail(peek().pos, QStringLiteral("Ausdruck zu lang"));
            take();
            auto n = std::make_unique<Node>();
            n->kind = Node::Or;
            n->a = std::move(left);
            n->b = parseAnd();
            left = std::move(n);
        }
        return left;
    }
    std::unique_ptr<Node> parseAnd()
    {
        auto left = parseNot();
        while (peek().kind == Token::KwAnd) {
            // Operator chains become nested nodes: bound them as well.
            if (++m_ops > 5000)
                fail(peek().pos, QStringLiteral("Ausdruck zu lang"));
            take();
            auto n = std::make_unique<Node>();
            n->kind = Node::And;
            n->a = std::move(left);
            n->b = parseNot();
            left = std::move(n);
        }
        return left;
    }
    std::unique_ptr<Node> parseNot()
    {
        if (peek().kind == Token::KwNot) {
            const Token &t = take();
            Depth d(*this, t.pos);
            auto n = std::make_unique<Node>();
            n->kind = Node::Not;
            n->a = parseNot();
            return n;
        }
        return parseCmp();
    }
    // Bounds the nesting so that no expression can exhaust the stack.
    struct Depth {
        Depth(Parser &p, int pos) : m_p(p)
        {
            if (++m_p.m_depth > 200)
                fail(pos, QStringLiteral("Ausdruck zu tief verschachtelt"));
        }
        ~Depth() { --m_p.m_depth; }
        Parser &m_p;
    };
    std::unique_ptr<Node> parseCmp()
    {
        if (peek().kind == Token::LParen) {
            const int p = take().pos;
            Depth d(*this, p);
            auto inner = parseOr();
            if (peek().kind != Token::RParen)
                fail(peek().pos, QStringLiteral("')' erwartet (zu '(' an Position %1)").arg(p));
            take();
            return inner;
        }
        Operand l = parseOperand();
        if (peek().kind == Token::KwIs) {
            take();
            auto n = std::make_unique<Node>();
            n->kind = Node::IsNull;
            if (peek().kind == Token::KwNot) {
                take();
                n->negate = true;
            }
            if (peek().kind != Token::KwNull)
                fail(peek().pos, QStringLiteral("NULL erwartet"));
            take();
            n->l = l;
            return n;
        }
        if (peek().kind == Token::OpTok) {
            auto n = std::make_unique<Node>();
            n->kind = Node::Cmp;
            n->op = take().op;
            n->l = l;
            n->r = parseOperand();
            return n;
        }
        auto n = std::make_unique<Node>();
        n->kind = Node::Truth;
        n->l = l;
        return n;
    }
    Operand parseOperand()
    {
        const Token &t = peek();
        Operand o;
        o.pos = t.pos;
        o.text = t.text;
        switch (t.kind) {
        case Token::Ident: o.kind = Operand::Field; break;
        case Token::Str: o.kind = Operand::Str; break;
        case Token::Num: o.kind = Operand::Num; break;
        case Token::KwTrue: o.kind = Operand::Bool; o.b = true; break;
        case Token::KwFalse: o.kind = Operand::Bool; o.b = false; break;
        case Token::KwNull: o.kind = Operand::Null; break;
        case Token::End: fail(t.pos, QStringLiteral("unerwartetes Ende, Operand erwartet"));
        default: fail(t.pos, QStringLiteral("Operand erwartet"));
        }
        take();
        return o;
    }

    const QVector<Token> &m_t;
    int m_i = 0;
    int m_depth = 0;
    int m_ops = 0;
};

Domain domainOf(FieldType t)
{
    switch (t) {
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::Float:
    case FieldType::Currency: case FieldType::BCD: case FieldType::LargeInt: case FieldType::AutoInc:
        return Domain::Number;
    case FieldType::Boolean: return Domain::Bool;
    case FieldType::Date: case FieldType::DateTime: return Domain::Date;
    case FieldType::Time: return Domain::Time;
    default: return Domain::Text;
    }
}

constexpr qint64 kDayMs = 86400000;

qint64 dateKey(const QDate &d, const QTime &t)
{
    return d.toJulianDay() * kDayMs + (t.isValid() ? t.msecsSinceStartOfDay() : 0);
}

bool parseBoolWord(const QString &s, bool *out)
{
    const QString u = s.trimmed().toUpper();
    if (u == QLatin1String("TRUE") || u == QLatin1String("WAHR") || u == QLatin1String("1") || u == QLatin1String("JA")
        || u == QLatin1String("YES") || u == QLatin1String("T") || u == QLatin1String("J") || u == QLatin1String("Y")) {
        *out = true;
        return true;
    }
    if (u == QLatin1String("FALSE") || u == QLatin1String("FALSCH") || u == QLatin1String("0") || u == QLatin1String("NEIN")
        || u == QLatin1String("NO") || u == QLatin1String("F") || u == QLatin1String("N")) {
        *out = false;
        return true;
    }
    return false;
}

// Converts a literal operand into the domain's form.
void convertLiteral(Operand &o, Domain dom, const QString &fieldName)
{
    auto bad = [&]() {
        fail(o.pos, QStringLiteral("'%1' ist kein gültiger Wert für das Feld '%2'").arg(o.text, fieldName));
    };
    if (o.kind == Operand::Null) {
        o.isNull = true;
        return;
    }
    switch (dom) {
    case Domain::Text:
        if (o.kind == Operand::Bool)
            o.s = o.b ? QStringLiteral("True") : QStringLiteral("False");
        else
            o.s = o.text;
        break;
    case Domain::Number:
        if (o.kind == Operand::Bool)
            o.d = o.b ? 1 : 0;
        else if (o.kind == Operand::Num) {
            bool ok = false;
            o.d = o.text.toDouble(&ok);
            if (!ok)
                bad();
        } else if (o.text.trimmed().isEmpty()) {
            o.isNull = true;
        } else if (!TextToFloat(o.text, &o.d)) {
            bad();
        }
        break;
    case Domain::Bool:
        if (o.kind == Operand::Num)
            o.b = o.text.toDouble() != 0;
        else if (o.kind == Operand::Str) {
            if (o.text.trimmed().isEmpty())
                o.isNull = true;
            else if (!parseBoolWord(o.text, &o.b))
                bad();
        }
        break;
    case Domain::Date: {
        if (o.kind != Operand::Str)
            bad();
        if (o.text.trimmed().isEmpty()) {
            o.isNull = true;
            break;
        }
        const QDateTime dt = TextToDateTime(o.text);
        if (!dt.isValid())
            bad();
        o.k = dateKey(dt.date(), dt.time());
        break;
    }
    case Domain::Time: {
        if (o.kind != Operand::Str)
            bad();
        if (o.text.trimmed().isEmpty()) {
            o.isNull = true;
            break;
        }
        QTime t = TextToTime(o.text);
        if (!t.isValid()) {
            const QDateTime dt = TextToDateTime(o.text);
            if (!dt.isValid())
                bad();
            t = dt.time();
        }
        o.k = t.msecsSinceStartOfDay();
        break;
    }
    }
}

// Runtime value of an operand in a domain.
struct Val {
    bool null = true;
    double d = 0;
    qint64 k = 0;
    bool b = false;
    QString s;
};

Val fieldVal(const Operand &o, Domain dom, const FilterExpr::ValueFn &fn)
{
    const QVariant v = fn(o.field);
    Val r;
    if (!v.isValid() || v.isNull()) {
        return r;
    }
    r.null = false;
    switch (dom) {
    case Domain::Text:
        r.s = v.typeId() == QMetaType::QString ? v.toString() : FieldValueToText(v, o.ftype);
        break;
    case Domain::Number:
        switch (v.typeId()) {
        case QMetaType::Int: r.d = v.toInt(); break;
        case QMetaType::Double: r.d = v.toDouble(); break;
        case QMetaType::LongLong: r.d = double(v.toLongLong()); break;
        case QMetaType::Bool: r.d = v.toBool() ? 1 : 0; break;
        case QMetaType::QString:
            if (!TextToFloat(v.toString(), &r.d))
                r.null = true;
            break;
        default: {
            bool ok = false;
            r.d = v.toDouble(&ok);
            if (!ok)
                r.null = true;
        }
        }
        break;
    case Domain::Bool:
        if (v.typeId() == QMetaType::Bool)
            r.b = v.toBool();
        else if (v.typeId() == QMetaType::QString) {
            if (!parseBoolWord(v.toString(), &r.b))
                r.null = true;
        } else
            r.b = v.toDouble() != 0;
        break;
    case Domain::Date:
        if (v.typeId() == QMetaType::QDateTime) {
            const QDateTime dt = v.toDateTime();
            r.k = dateKey(dt.date(), dt.time());
        } else if (v.typeId() == QMetaType::QDate) {
            r.k = dateKey(v.toDate(), QTime());
        } else if (v.typeId() == QMetaType::QString) {
            const QDateTime dt = TextToDateTime(v.toString());
            if (dt.isValid())
                r.k = dateKey(dt.date(), dt.time());
            else
                r.null = true;
        } else {
            r.null = true;
        }
        break;
    case Domain::Time:
        if (v.typeId() == QMetaType::QTime)
            r.k = v.toTime().msecsSinceStartOfDay();
        else if (v.typeId() == QMetaType::QDateTime)
            r.k = v.toDateTime().time().msecsSinceStartOfDay();
        else
            r.null = true;
        break;
    }
    return r;
}

Val operandVal(const Operand &o, Domain dom, const FilterExpr::ValueFn &fn)
{
    if (o.kind == Operand::Field)
        return fieldVal(o, dom, fn);
    Val r;
    r.null = o.isNull;
    r.d = o.d;
    r.k = o.k;
    r.b = o.b;
    r.s = o.s;
    return r;
}

bool applyOp(Op op, int c)
{
    switch (op) {
    case Op::Eq: return c == 0;
    case Op::Ne: return c != 0;
    case Op::Lt: return c < 0;
    case Op::Le: return c <= 0;
    case Op::Gt: return c > 0;
    case Op::Ge: return c >= 0;
    }
    return false;
}

bool compareVals(Domain dom, Op op, const Val &l, const Val &r)
{
    if (dom == Domain::Text) {
        // NULL and '' are the same on text.
        if (op == Op::Eq)
            return l.s == r.s;
        if (op == Op::Ne)
            return l.s != r.s;
        return applyOp(op, l.s.compare(r.s, Qt::CaseSensitive));
    }
    int c;
    if (l.null || r.null)
        c = (l.null && r.null) ? 0 : (l.null ? -1 : 1);
    else {
        switch (dom) {
        case Domain::Number: c = l.d < r.d ? -1 : (l.d > r.d ? 1 : 0); break;
        case Domain::Bool: c = int(l.b) - int(r.b); break;
        default: c = l.k < r.k ? -1 : (l.k > r.k ? 1 : 0); break;
        }
    }
    return applyOp(op, c);
}

Op flip(Op op)
{
    switch (op) {
    case Op::Lt: return Op::Gt;
    case Op::Le: return Op::Ge;
    case Op::Gt: return Op::Lt;
    case Op::Ge: return Op::Le;
    default: return op;
    }
}

void bindField(Operand &o, const FilterExpr::Resolver &resolve, QVector<int> &used)
{
    if (o.kind != Operand::Field)
        return;
    if (!resolve) {
        o.field = 0;
        return;
    }
    const auto ref = resolve(o.text);
    if (!ref)
        fail(o.pos, QStringLiteral("Feld '%1' nicht gefunden").arg(o.text));
    o.field = ref->index;
    o.ftype = ref->type;
    if (!used.contains(o.field))
        used << o.field;
}

bool evalNode(const Node *n, const FilterExpr::ValueFn &fn);

void bind(Node *n, const FilterExpr::Resolver &resolve, QVector<int> &used)
{
    switch (n->kind) {
    case Node::And:
    case Node::Or:
        bind(n->a.get(), resolve, used);
        bind(n->b.get(), resolve, used);
        return;
    case Node::Not:
        bind(n->a.get(), resolve, used);
        return;
    case Node::Const:
        return;
    case Node::IsNull:
        bindField(n->l, resolve, used);
        if (n->l.kind == Operand::Field)
            n->dom = domainOf(n->l.ftype);
        return;
    case Node::Truth:
        bindField(n->l, resolve, used);
        if (n->l.kind == Operand::Field) {
            n->dom = domainOf(n->l.ftype);
        } else if (n->l.kind == Operand::Bool) {
            n->kind = Node::Const;
            n->value = n->l.b;
        } else if (n->l.kind == Operand::Null) {
            n->kind = Node::Const;
            n->value = false;
        } else {
            fail(n->l.pos, QStringLiteral("Vergleich erwartet"));
        }
        return;
    case Node::Cmp:
        break;
    }
    bindField(n->l, resolve, used);
    bindField(n->r, resolve, used);
    // Field on the left where possible.
    if (n->l.kind != Operand::Field && n->r.kind == Operand::Field) {
        std::swap(n->l, n->r);
        n->op = flip(n->op);
    }
    const bool lf = n->l.kind == Operand::Field, rf = n->r.kind == Operand::Field;
    // "= NULL" / "<> NULL" mean IS [NOT] NULL.
    if (lf && n->r.kind == Operand::Null && (n->op == Op::Eq || n->op == Op::Ne)) {
        n->kind = Node::IsNull;
        n->negate = n->op == Op::Ne;
        n->dom = domainOf(n->l.ftype);
        return;
    }
    if (lf && rf) {
        const Domain a = domainOf(n->l.ftype), b = domainOf(n->r.ftype);
        if (a == b)
            n->dom = a;
        else if ((a == Domain::Number && b == Domain::Bool) || (a == Domain::Bool && b == Domain::Number))
            n->dom = Domain::Number;
        else
            n->dom = Domain::Text;
        return;
    }
    if (lf) {
        n->dom = domainOf(n->l.ftype);
        convertLiteral(n->r, n->dom, n->l.text);
        return;
    }
    // Two literals: fold.
    Domain dom = Domain::Text;
    if (n->l.kind == Operand::Num || n->r.kind == Operand::Num)
        dom = Domain::Number;
    if (n->l.kind == Operand::Bool && n->r.kind == Operand::Bool)
        dom = Domain::Bool;
    convertLiteral(n->l, dom, n->l.text);
    convertLiteral(n->r, dom, n->r.text);
    const bool v = compareVals(dom, n->op, operandVal(n->l, dom, {}), operandVal(n->r, dom, {}));
    n->kind = Node::Const;
    n->value = v;
}

bool evalNode(const Node *n, const FilterExpr::ValueFn &fn)
{
    switch (n->kind) {
    case Node::And: return evalNode(n->a.get(), fn) && evalNode(n->b.get(), fn);
    case Node::Or: return evalNode(n->a.get(), fn) || evalNode(n->b.get(), fn);
    case Node::Not: return !evalNode(n->a.get(), fn);
    case Node::Const: return n->value;
    case Node::IsNull: {
        bool isNull;
        if (n->l.kind == Operand::Field) {
            const QVariant v = fn(n->l.field);
            isNull = !v.isValid() || v.isNull()
                     || (n->dom == Domain::Text && v.typeId() == QMetaType::QString && v.toString().isEmpty());
        } else {
            isNull = n->l.kind == Operand::Null;
        }
        return n->negate ? !isNull : isNull;
    }
    case Node::Truth: {
        const Val v = fieldVal(n->l, n->dom, fn);
        if (v.null)
            return false;
        switch (n->dom) {
        case Domain::Bool: return v.b;
        case Domain::Number: return v.d != 0;
        case Domain::Text: return !v.s.isEmpty();
        default: return true;
        }
    }
    case Node::Cmp:
        return compareVals(n->dom, n->op, operandVal(n->l, n->dom, fn), operandVal(n->r, n->dom, fn));
    }
    return false;
}

} // namespace

FilterExpr::FilterExpr() = default;
FilterExpr::~FilterExpr() = default;

void FilterExpr::CheckSyntax(const QString &text)
{
    const QVector<Token> toks = tokenize(text);
    Parser p(toks);
    auto root = p.parseAll();
    if (root) {
        QVector<int> used;
        bind(root.get(), Resolver(), used);
    }
}

std::shared_ptr<FilterExpr> FilterExpr::Compile(const QString &text, const Resolver &resolve)
{
    const QVector<Token> toks = tokenize(text);
    Parser p(toks);
    std::shared_ptr<FilterExpr> e(new FilterExpr);
    e->m_root = p.parseAll();
    if (e->m_root)
        bind(e->m_root.get(), resolve, e->m_used);
    return e;
}

bool FilterExpr::Evaluate(const ValueFn &value) const
{
    return !m_root || evalNode(m_root.get(), value);
}

bool FilterExpr::IsEmpty() const
{
    return !m_root;
}

QVector<int> FilterExpr::UsedFields() const
{
    return m_used;
}

} // namespace mv
