#include <gtest/gtest.h>

#include <locale>

#include "net/Replies.h"
#include "net/Sentence.h"

namespace {

using Arguments = std::vector<std::string>;

struct Parsed {
    bool ok;
    std::string name;
    Arguments arguments;
};

Parsed parse(const std::string& line) {
    VelNet::Sentence sentence;
    const bool ok = sentence.parse(line);
    return {ok, sentence.name(), sentence.arguments()};
}

TEST(SentenceParse, WellFormedSentences) {
    Parsed parsed = parse("project.new();");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.name, "project.new");
    EXPECT_TRUE(parsed.arguments.empty());

    parsed = parse("project.actors.mesh.create(\"ship\", \"fleet\",\"ship.mesh\");");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.name, "project.actors.mesh.create");
    EXPECT_EQ(parsed.arguments, (Arguments{"ship", "fleet", "ship.mesh"}));

    parsed = parse("  \t>> project.actors.mesh.translate ( \"a b\" , -1.5,0.25 ,4000 ) ;");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.name, "project.actors.mesh.translate");
    EXPECT_EQ(parsed.arguments, (Arguments{"a b", "-1.5", "0.25", "4000"}));
}

TEST(SentenceParse, QuotedArgumentsHoldWhatBareOnesCannot) {
    Parsed parsed = parse(R"(project.title.set("a, (b); c	d", "");)");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.arguments, (Arguments{"a, (b); c\td", ""}));

    // A bare Windows path keeps only its drive letter; the rest up to the comma is skipped.
    parsed = parse(R"(uploadFile(C:\work\ship.zip, 12);)");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.arguments, (Arguments{"C", "12"}));

    // Whatever follows a closing quote up to the next comma is skipped too.
    parsed = parse(R"(x("a"junk, b);)");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.arguments, (Arguments{"a", "b"}));

    // A number may carry a plus sign in its exponent, as the player writes large numbers; a plus
    // sign anywhere else still ends a bare argument.
    parsed = parse(R"(x(1e+20, -2.5E+3, 1e-5, +4, a+b, e+1, 1.e+2);)");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.arguments, (Arguments{"1e+20", "-2.5E+3", "1e-5", "", "a", "e", "1.e+2"}));
}

TEST(SentenceParse, EscapedQuoteStaysInTheText) {
    VelNet::Sentence sentence;
    ASSERT_TRUE(sentence.parse(R"(project.title.set("say \"hi\" now", "C:\dir\file");)"));
    EXPECT_EQ(sentence.arguments()[0], R"(say "hi" now)");
    EXPECT_EQ(sentence.textArgument(0), R"(say "hi" now)");
    // Backslashes stay in the raw text and leave the value.
    EXPECT_EQ(sentence.arguments()[1], R"(C:\dir\file)");
    EXPECT_EQ(sentence.textArgument(1), "C:dirfile");
    // A quote right after the opening one ends an empty text.
    ASSERT_TRUE(sentence.parse(R"(a("", "\"");)"));
    EXPECT_EQ(sentence.arguments(), (Arguments{"", "\""}));
    // The escape keeps the text open: here it never closes.
    EXPECT_FALSE(sentence.parse(R"(a("abc\");)"));
}

TEST(SentenceParse, EmptyArgumentsAndTrailingComma) {
    EXPECT_EQ(parse("a(,x);").arguments, (Arguments{"", "x"}));
    EXPECT_EQ(parse("a(x,);").arguments, (Arguments{"x"}));
    EXPECT_EQ(parse("a(x,,y);").arguments, (Arguments{"x", "", "y"}));
    EXPECT_EQ(parse("a( );").arguments, (Arguments{""}));
    EXPECT_EQ(parse("a(,);").arguments, (Arguments{""}));
}

TEST(SentenceParse, AtMostOneCharacterAfterTheSemicolon) {
    EXPECT_TRUE(parse("project.new(); ").ok);
    EXPECT_TRUE(parse("project.new();\r").ok);
    EXPECT_TRUE(parse("project.new() ;").ok);
    EXPECT_FALSE(parse("project.new();  ").ok);
    EXPECT_FALSE(parse("project.new();\r\n").ok);
    EXPECT_FALSE(parse("project.new(); x;").ok);
}

TEST(SentenceParse, LinesThatEndTooEarlyFail) {
    for (const char* line : {"", "   ", "#!*", "project.new", "project.new(", "project.new()",
                             "project.new() ", "a(x", "a(x,", "a(\"x", "a(\"x\"", "a(x y", "a(\"x\")"}) {
        EXPECT_FALSE(parse(line).ok) << line;
    }
}

TEST(SentenceParse, EmbeddedNulIsAnOrdinaryCharacter) {
    const std::string line("a(\"x\0y\");", 9);
    Parsed parsed = parse(line);
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.arguments, (Arguments{std::string("x\0y", 3)}));
    EXPECT_FALSE(parse(std::string("a();\0\0", 6)).ok);
}

TEST(SentenceParse, ObjectIsReusedLineAfterLine) {
    VelNet::Sentence sentence;
    ASSERT_TRUE(sentence.parse("a(1, 2, 3);"));
    ASSERT_TRUE(sentence.parse("b();"));
    EXPECT_EQ(sentence.name(), "b");
    EXPECT_TRUE(sentence.arguments().empty());
}

TEST(SentenceMatch, SignatureLettersAndCounts) {
    VelNet::Sentence sentence;
    ASSERT_TRUE(sentence.parse("project.net.init(4000);"));
    EXPECT_TRUE(sentence.matches("project.net.init", "s"));
    EXPECT_TRUE(sentence.matches("project.net.init", "l"));
    EXPECT_TRUE(sentence.matches("project.net.init", "f"));
    EXPECT_EQ(sentence.longArgument(0), 4000);
    EXPECT_FALSE(sentence.matches("project.net.Init", "s"));
    EXPECT_FALSE(sentence.matches("project.net.init", ""));
    EXPECT_FALSE(sentence.matches("project.net.init", "ss"));
    EXPECT_FALSE(sentence.matches("project.net.init", "x"));

    ASSERT_TRUE(sentence.parse("project.net.init(port);"));
    EXPECT_TRUE(sentence.matches("project.net.init", "s"));
    EXPECT_FALSE(sentence.matches("project.net.init", "l"));
    EXPECT_FALSE(sentence.matches("project.net.init", "f"));
    EXPECT_EQ(sentence.longArgument(0), 0);

    ASSERT_TRUE(sentence.parse("project.actors.mesh.translate(\"ship\", 1, -2.5, 3e2);"));
    EXPECT_TRUE(sentence.matches("project.actors.mesh.translate", "sfff"));
    ASSERT_TRUE(sentence.parse("project.actors.mesh.translate(\"ship\", 1, -2.5, 3e2, 4);"));
    EXPECT_FALSE(sentence.matches("project.actors.mesh.translate", "sfff"));
}

TEST(SentenceMatch, NumbersAreReadFromTheStartOfTheText) {
    VelNet::Sentence sentence;
    ASSERT_TRUE(sentence.parse("a(\" 12abc\", \"-1.5\", \"x1\", \"\", 99999999999999999999, \"1e999\");"));
    EXPECT_TRUE(sentence.matches("a", "lfssss"));
    EXPECT_TRUE(sentence.matches("a", "llssss"));
    EXPECT_FALSE(sentence.matches("a", "ssfsss")); // "x1"
    EXPECT_FALSE(sentence.matches("a", "sssfss")); // empty
    // Out of range fails; "1e999" still starts with the integer 1.
    EXPECT_TRUE(sentence.matches("a", "ssssfl"));
    EXPECT_FALSE(sentence.matches("a", "sssslf"));
    EXPECT_EQ(sentence.longArgument(0), 12);
    EXPECT_EQ(sentence.longArgument(1), -1);
    EXPECT_DOUBLE_EQ(sentence.doubleArgument(1), -1.5);
    EXPECT_EQ(sentence.longArgument(2), 0);
    EXPECT_EQ(sentence.doubleArgument(3), 0.0);
    // Past the last argument: neutral values.
    EXPECT_EQ(sentence.textArgument(6), "");
    EXPECT_EQ(sentence.longArgument(6), 0);
    EXPECT_EQ(sentence.doubleArgument(6), 0.0);
}

struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(SentenceMatch, NumbersIgnoreTheProcessLocale) {
    std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    VelNet::Sentence sentence;
    ASSERT_TRUE(sentence.parse("a(0.25);"));
    EXPECT_DOUBLE_EQ(sentence.doubleArgument(0), 0.25);
    EXPECT_EQ(VelNet::tripleReply(true, 0.5, 1, 2), "(0.5, 1, 2)\r\n");
    std::locale::global(previous);
}

TEST(Replies, EveryShapeAndItsFailureForm) {
    EXPECT_EQ(VelNet::okReply(true), "ok\r\n");
    EXPECT_EQ(VelNet::okReply(false), "fail\r\n");
    EXPECT_EQ(VelNet::truthReply(true), "true\r\n");
    EXPECT_EQ(VelNet::truthReply(false), "false\r\n");
    EXPECT_EQ(VelNet::quotedTextReply(true, "a \"b\""), "\"a \"b\"\"\r\n");
    EXPECT_EQ(VelNet::quotedTextReply(false, ""), "fail \r\n");
    EXPECT_EQ(VelNet::plainTextReply(true, "\"a\", \"b\""), "\"a\", \"b\"\r\n");
    EXPECT_EQ(VelNet::plainTextReply(false, "why"), "fail why\r\n");
    EXPECT_EQ(VelNet::integerReply(true, -42), "-42\r\n");
    EXPECT_EQ(VelNet::integerReply(false, 7), "fail\r\n");
    EXPECT_EQ(VelNet::tripleReply(true, 1.0, -0.5, 1234567.0), "(1, -0.5, 1.23457e+06)\r\n");
    EXPECT_EQ(VelNet::tripleReply(false, 1, 2, 3), "fail\r\n");
    EXPECT_EQ(VelNet::quadrupleReply(true, 1, 0, 0, 0.000123456789), "(1, 0, 0, 0.000123457)\r\n");
    EXPECT_EQ(VelNet::quadrupleReply(false, 1, 2, 3, 4), "fail\r\n");
    EXPECT_EQ(VelNet::errorReply("parser error"), "fail parser error\r\n");
    EXPECT_EQ(VelNet::errorReply("invalid sentence"), "fail invalid sentence\r\n");
}

} // namespace
