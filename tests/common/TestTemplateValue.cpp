#include "StrictJson.h"
#include "web/ZOZTemplateValue.h"
#include "web/ZOZTemplateVariable.h"

#include <gtest/gtest.h>

using namespace ZOZ;
using ZOZTest::StrictJson;

TEST(TemplateValue, WritesMapsListsAndScalars)
{
    TemplateValue map;
    map << TemplateValue(QStringLiteral("success"), true) << TemplateValue(QStringLiteral("count"), 3);
    EXPECT_EQ(map.toJson(), QStringLiteral("{\"success\":true,\"count\":3}"));
    EXPECT_EQ(map.toJsonDocument(), map.toJson());

    const TemplateValue scalar(QStringLiteral("a"), QStringLiteral("x"));
    EXPECT_EQ(scalar.toJson(), QStringLiteral("\"a\":\"x\""));
    EXPECT_EQ(scalar.toJsonDocument(), QStringLiteral("{\"a\":\"x\"}"));

    TemplateValue grown(QStringLiteral("s"), QStringLiteral("v"));
    grown.appendNumber(QStringLiteral("n"), 1);
    EXPECT_EQ(grown.type(), TemplateValue::Map);
    EXPECT_TRUE(grown.name().isEmpty());
    EXPECT_EQ(grown.toJson(), QStringLiteral("{\"s\":\"v\",\"n\":1}"));

    TemplateValue list(QStringLiteral("items"), TemplateValue::List);
    list << TemplateValue(QString(), QStringLiteral("unnamed")) << TemplateValue(QString(), 2);
    TemplateValue withList;
    withList << TemplateValue(QString(), QStringLiteral("left out")) << list
             << TemplateValue(QStringLiteral("empty"), TemplateValue::List) << TemplateValue(QStringLiteral("m"), TemplateValue::Map);
    EXPECT_EQ(withList.toJson(), QStringLiteral("{\"items\":[\"unnamed\",2],\"empty\":[]}"));

    EXPECT_EQ(TemplateValue(QStringLiteral("d"), 1234567.0).toJson(), QStringLiteral("\"d\":1.23457e+06"));
    EXPECT_EQ(TemplateValue(QStringLiteral("t"), QStringLiteral("  a \n  b ")).value(), QStringLiteral("a b"));

    TemplateValue unchanged = withList;
    unchanged << TemplateValue(TemplateValue::None);
    EXPECT_EQ(unchanged.toJson(), withList.toJson());
}

TEST(TemplateValue, EscapesTextAndRemovesListItems)
{
    TemplateValue map;
    map << TemplateValue(QStringLiteral("t"), QStringLiteral("a<b & \"c\""));
    EXPECT_EQ(map.toJson(), QStringLiteral("{\"t\":\"a&lt;b &amp; &quot;c&quot;\"}"));

    TemplateValue list(QStringLiteral("l"), TemplateValue::List);
    for (const char *id : { "1", "2", "1" }) {
        TemplateValue item;
        item << TemplateValue(QStringLiteral("id"), id);
        list << item;
    }
    list.removeListItems(QStringLiteral("id"), QStringLiteral("1"));
    EXPECT_EQ(list.toJson(), QStringLiteral("\"l\":[{\"id\":\"2\"}]"));
}

TEST(TemplateValue, CopiesUnderANewName)
{
    TemplateValue list(QStringLiteral("l"), TemplateValue::List);
    list << TemplateValue(QString(), 1);
    EXPECT_EQ(TemplateValue(QStringLiteral("m"), list).toJson(), QStringLiteral("\"m\":[1]"));
    EXPECT_EQ(TemplateValue(QStringLiteral("n"), TemplateValue(QStringLiteral("x"), 7)).toJson(), QStringLiteral("\"n\":7"));
    EXPECT_EQ(TemplateValue(QStringLiteral("s"), TemplateValue(TemplateValue::None)).type(), TemplateValue::String);
    EXPECT_EQ(TemplateValue(QStringLiteral("v"), QVector<TemplateValue> { TemplateValue(QStringLiteral("a"), true) },
                            TemplateValue::Map).toJson(),
              QStringLiteral("\"v\":{\"a\":true}"));
    EXPECT_EQ(TemplateValue(QStringLiteral("e"), QVector<TemplateValue>(), TemplateValue::None).type(), TemplateValue::String);
}

// Whatever a producer puts into the tree, the document is valid JSON.
TEST(TemplateValue, DocumentsAreStrictJson)
{
    const QString hostile = QStringLiteral("q\"uote \\back\\slash ") + QChar(0) + QChar(1) + QChar(0x1F)
        + QStringLiteral(" </script> \u2028 end");
    TemplateValue root;
    root << TemplateValue(hostile, hostile);
    root << TemplateValue(QStringLiteral("nan"), std::numeric_limits<double>::quiet_NaN());
    root << TemplateValue(QStringLiteral("inf"), std::numeric_limits<double>::infinity());
    root << TemplateValue(QStringLiteral("textAsNumber"), QStringLiteral("12abc"), TemplateValue::Number);
    root << TemplateValue(QStringLiteral("textAsBool"), QStringLiteral("yes"), TemplateValue::Bool);
    root << TemplateValue(QStringLiteral("n"), -12) << TemplateValue(QStringLiteral("u"), 4294967295u);
    TemplateValue list(QStringLiteral("list"), TemplateValue::List);
    list << TemplateValue(QStringLiteral("named in list"), 1) << TemplateValue(TemplateValue::Map)
         << TemplateValue(QStringLiteral("x"), TemplateValue::String);
    root << list;
    TemplateValue unnamedList(TemplateValue::List);
    unnamedList << TemplateValue(QString(), 1);
    root << unnamedList;

    const QByteArray document = root.toUtf8();
    EXPECT_TRUE(StrictJson::isValid(document)) << document.constData();
    EXPECT_TRUE(StrictJson::isValid(TemplateValue(QString(), QStringLiteral("alone")).toUtf8()));
    EXPECT_TRUE(StrictJson::isValid(TemplateValue(QStringLiteral("k"), hostile).toUtf8()));
}

// A list page writes its rows' JSON straight from the variables: the same
// text as their value tree, whatever the fields hold.
TEST(TemplateValue, RowsJsonIsTheJsonOfTheirTree)
{
    using Row = TemplateVariable::Row;
    TemplateVariable oddBool(QStringLiteral("b"), QStringLiteral(" maybe "));
    oddBool.type = TemplateVariable::Bool;
    TemplateVariable oddNumber(QStringLiteral("n"), QStringLiteral("012"));
    oddNumber.type = TemplateVariable::Number;
    TemplateVariable nullNumber(QStringLiteral("z"), QStringLiteral("null"));
    nullNumber.type = TemplateVariable::Number;
    const TemplateVariable::Rows rows{
        Row{TemplateVariable(QStringLiteral("id"), 7), TemplateVariable(QStringLiteral("on"), true),
            TemplateVariable(QStringLiteral("label"), QStringLiteral("  a \"b\"\n\\ <c> \x01 "), true),
            TemplateVariable(QStringLiteral("raw"), QStringLiteral("<b>x</b>")), oddBool, oddNumber, nullNumber},
        Row{},
        Row{TemplateVariable(QString(), QStringLiteral("nameless")), TemplateVariable(QStringLiteral("q\"n"), -3),
            TemplateVariable(QStringLiteral("sub"), TemplateVariable::Rows{Row{TemplateVariable(QStringLiteral("v"), "x")}, Row{}}),
            TemplateVariable(QString(), TemplateVariable::Rows{})},
    };
    for (const TemplateVariable::Rows &list : {rows, TemplateVariable::Rows{}}) {
        QString json;
        TemplateVariable::appendRowsJson(json, list);
        EXPECT_EQ(json, TemplateVariable::rowsToTemplateValue(list).toJson());
    }
}
