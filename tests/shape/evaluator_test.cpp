// The expression evaluator: grammar, variables, functions and every error code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "Evaluator.h"

namespace {

struct Outcome {
    int code;
    double result;
    int assigned;
};

Outcome run(Evaluator& evaluator, const std::string& text)
{
    Outcome outcome{-1, -1, -1};
    outcome.code = evaluator.Evaluate(text.c_str(), outcome.result, outcome.assigned);
    return outcome;
}

const double pi = 3.141592653589793;

TEST(Evaluator, ArithmeticPrecedenceAndAssociativity)
{
    Evaluator e;
    EXPECT_EQ(run(e, "1 + 2 * 3").result, 7);
    EXPECT_EQ(run(e, "(1 + 2) * 3").result, 9);
    EXPECT_EQ(run(e, "10 - 4 - 3").result, 3);
    EXPECT_EQ(run(e, "7 % 4").result, 3);
    EXPECT_EQ(run(e, "-2^2").result, 4);   // the sign binds tighter than "^"
    EXPECT_EQ(run(e, "2^3^2").result, 8);  // a second "^" is not read
    EXPECT_EQ(run(e, "1 2").result, 1);    // tokens after a complete expression are ignored
    EXPECT_EQ(run(e, "1.5.2").result, 1.5);
    EXPECT_EQ(run(e, "\t 2 *\t-3 ").result, -6);
    EXPECT_DOUBLE_EQ(run(e, "E + PI").result, 2.718281828459045 + pi);
}

TEST(Evaluator, FunctionsComputeTheirTableEntries)
{
    Evaluator e;
    EXPECT_EQ(run(e, "sgn(0)").result, 1);
    EXPECT_EQ(run(e, "sgn(-0.5)").result, -1);
    EXPECT_EQ(run(e, "hypot(3, 4)").result, 5);
    EXPECT_EQ(run(e, "min(3, -2) + max(3, -2)").result, 1);
    EXPECT_DOUBLE_EQ(run(e, "deg(pi)").result, 180);
    EXPECT_DOUBLE_EQ(run(e, "rad(90)").result, pi / 2);
    EXPECT_DOUBLE_EQ(run(e, "log10(1000) + abs(-2) + floor(2.5) + ceil(2.5)").result, 10);
    EXPECT_DOUBLE_EQ(run(e, "Sqrt(16)").result, 4);
}

TEST(Evaluator, VariablesAreCaseInsensitiveAssignableAndDeletable)
{
    Evaluator e;
    const Outcome assign = run(e, "x = 2*pi");
    EXPECT_EQ(assign.code, 0);
    EXPECT_EQ(assign.assigned, 1);
    EXPECT_DOUBLE_EQ(assign.result, 2 * pi);
    const Outcome square = run(e, "X^2");
    EXPECT_EQ(square.assigned, 0);
    EXPECT_DOUBLE_EQ(square.result, 4 * pi * pi);

    const Outcome deletion = run(e, "x =");
    EXPECT_EQ(deletion.code, 0);
    EXPECT_EQ(deletion.assigned, 1);
    EXPECT_EQ(run(e, "x").code, Evaluator::errorNoVariable);

    double value = 0;
    const double seven = 7;
    EXPECT_EQ(e.SetValue("A_Very_Long_Variable_Name", &seven), 1);
    EXPECT_EQ(e.GetValue("a_very_long_var", value), 1);  // names are cut to 15 characters
    EXPECT_EQ(value, 7);
    EXPECT_EQ(e.ClearVar("A_VERY_LONG_VARIABLE"), 1);
    EXPECT_EQ(e.GetValue("a_very_long_var", value), 0);
    EXPECT_EQ(e.GetValue("pi", value), 1);
}

TEST(Evaluator, TheFiftyFirstVariableIsRefusedAndTheTableIsLeftAlone)
{
    Evaluator e;
    for (int i = 0; i < Evaluator::maxVariables; ++i) {
        char assignment[32];
        std::snprintf(assignment, sizeof assignment, "v%d = %d", i, i);
        ASSERT_EQ(run(e, assignment).code, 0);
    }
    const Outcome full = run(e, "extra = 1");
    EXPECT_EQ(full.code, Evaluator::errorTableFull);
    EXPECT_EQ(full.result, 0);
    EXPECT_EQ(run(e, "v49 = 5").code, 0);  // an existing name still updates
    EXPECT_EQ(run(e, "v49").result, 5);
    double value = 0;
    EXPECT_EQ(e.GetValue("extra", value), 0);
    e.ClearAllVars();
    EXPECT_EQ(run(e, "extra = 1").code, 0);
}

TEST(Evaluator, ErrorsGiveTheirCodeAResultOfZeroAndKeepVariables)
{
    Evaluator e;
    run(e, "y = 3");
    const std::pair<const char*, int> cases[] = {
        {"2 $ 3", Evaluator::errorSyntax},
        {"2 +", Evaluator::errorSyntax},
        {"(2 + 3", Evaluator::errorUnbalanced},
        {"1/0", Evaluator::errorDivisionByZero},
        {"7 % 0", Evaluator::errorDivisionByZero},
        {"nothing + 1", Evaluator::errorNoVariable},
        {"foo(1)", Evaluator::errorNoFunction},
        {"min(3)", Evaluator::errorArgumentCount},
        {"max(1,2,3)", Evaluator::errorArgumentCount},
        {"max(1,2,3,4)", Evaluator::errorArgumentCount},
        {"sin()", Evaluator::errorMissingArgument},
        {"max(1,,2)", Evaluator::errorMissingArgument},
        {"()", Evaluator::errorMissingArgument},
        {"", Evaluator::errorEmpty},
        {"   ", Evaluator::errorEmpty},
        {"y = 1/0", Evaluator::errorDivisionByZero},
    };
    for (const auto& [text, code] : cases) {
        const Outcome outcome = run(e, text);
        EXPECT_EQ(outcome.code, code) << text;
        EXPECT_EQ(outcome.result, 0) << text;
        EXPECT_EQ(outcome.assigned, 0) << text;
        EXPECT_EQ(Evaluator::lastErrorCode(), code) << text;
    }
    EXPECT_EQ(run(e, "y").result, 3);  // the failed assignment left y alone

    run(e, "1 + foo(2)");
    EXPECT_EQ(Evaluator::lastErrorPosition(), 4);
    EXPECT_STREQ(Evaluator::lastErrorToken(), "foo");
}

TEST(Evaluator, OverlongExpressionsAndNumbersAreRefusedWithTheirOwnCodes)
{
    Evaluator e;
    std::string longest(511, ' ');  // "1 ... +1", 511 characters
    longest[0] = '1';
    longest[509] = '+';
    longest[510] = '1';
    EXPECT_EQ(run(e, longest).result, 2);
    longest.push_back(' ');
    const Outcome tooLong = run(e, longest);
    EXPECT_EQ(tooLong.code, Evaluator::errorTooLong);
    EXPECT_EQ(tooLong.result, 0);

    EXPECT_EQ(run(e, std::string(31, '1')).code, 0);
    EXPECT_EQ(run(e, std::string(32, '1')).code, Evaluator::errorTokenTooLong);
    EXPECT_EQ(run(e, "2 * 0." + std::string(40, '5')).code, Evaluator::errorTokenTooLong);
    // Identifiers are cut, not refused.
    EXPECT_EQ(run(e, std::string(40, 'q') + " = 4").code, 0);
    EXPECT_EQ(run(e, std::string(15, 'q')).result, 4);
}

}  // namespace
