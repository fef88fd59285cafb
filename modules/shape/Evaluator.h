// A small calculator for arithmetic expressions with named variables: a recursive-
// descent parser over plain 8-bit text. Names are case-insensitive. Not thread-safe:
// the last error is kept in process-wide variables shared by every instance.
//
//   Evaluator calc;
//   double result; int assigned;
//   calc.Evaluate("x = 2*pi", result, assigned);  // 0, result 6.283..., assigned 1
//   calc.Evaluate("x^2", result, assigned);       // 0, result 39.478...
#pragma once

class Evaluator {
public:
    // Error codes returned by Evaluate.
    enum Error {
        errorNone = 0,
        errorSyntax = 1,           // invalid character, or an operand expected and not found
        errorUnbalanced = 2,       // ")" missing
        errorDivisionByZero = 3,   // "/" or "%" by exactly 0
        errorNoVariable = 4,       // no such variable or constant
        errorTableFull = 5,        // all 50 variable slots taken
        errorNoFunction = 6,       // no such function
        errorArgumentCount = 7,    // wrong number of function arguments
        errorMissingArgument = 8,  // missing argument or empty parentheses
        errorEmpty = 9,            // empty expression
        errorTooLong = 10,         // expression longer than maxExpressionLength characters
        errorTokenTooLong = 11,    // a number longer than maxTokenLength characters
    };

    static constexpr int maxVariables = 50;
    static constexpr int maxNameLength = 15;
    static constexpr int maxExpressionLength = 511;
    static constexpr int maxTokenLength = 31;

    Evaluator();

    // Evaluates `expression`; returns an error code (0 success). On error `result` is 0
    // and the variables are as they were. `assigned` is 1 for an assignment "name = ..."
    // or a deletion "name =", else 0.
    int Evaluate(const char* expression, double& result, int& assigned);

    // Sets a variable (name lowered and cut to 15 characters). 1, or 0 when the table
    // is full and the name is new.
    int SetValue(const char* name, const double* value);
    // Looks a name up among the variables, then the constants "pi" and "e". 1 when found.
    int GetValue(const char* name, double& value) const;
    // Deletes a variable; 1 when it existed.
    int ClearVar(const char* name);
    void ClearAllVars();

    // The last error of any instance: its code, offset in the expression and token text.
    static int lastErrorCode();
    static int lastErrorPosition();
    static const char* lastErrorToken();

private:
    enum TokenType { tokenEnd = 0, tokenIdentifier = 1, tokenDelimiter = 2, tokenNumber = 3 };

    struct Variable {
        char name[maxNameLength + 1];
        double value;
    };

    void Parse();
    void Level1(double& r);
    void Level2(double& r);
    void Level3(double& r);
    void Level4(double& r);
    void Level5(double& r);
    void Level6(double& r);
    [[noreturn]] void raise(int code);
    bool isDelimiter(char c) const;
    bool tokenIs(char delimiter) const;

    Variable variables[maxVariables];
    char expression[maxExpressionLength + 1];
    const char* position = nullptr;  // next character to read
    const char* tokenStart = nullptr;
    char token[maxTokenLength + 1];
    TokenType type = tokenEnd;
    bool assignment = false;  // the expression was an assignment or a deletion
};
