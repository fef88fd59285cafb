#include "Evaluator.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The last error, shared by all instances.
int errorCode = 0;
int errorPosition = 0;
char errorToken[Evaluator::maxTokenLength + 1] = {};

struct EvaluatorError {
    int code;
};

double deg(double x) { return x * 180 / 3.141592653589793; }
double rad(double x) { return x * 3.141592653589793 / 180; }
double sgn(double x) { return x < 0 || std::isnan(x) ? -1 : 1; }
double my_hypot(double a, double b) { return std::hypot(a, b); }
double my_min(double a, double b) { return a < b ? a : b; }
double my_max(double a, double b) { return a > b ? a : b; }

struct Function {
    const char* name;
    int arguments;
    double (*one)(double);
    double (*two)(double, double);
};

double callSin(double x) { return std::sin(x); }
double callCos(double x) { return std::cos(x); }
double callTan(double x) { return std::tan(x); }
double callAsin(double x) { return std::asin(x); }
double callAcos(double x) { return std::acos(x); }
double callAtan(double x) { return std::atan(x); }
double callSinh(double x) { return std::sinh(x); }
double callCosh(double x) { return std::cosh(x); }
double callTanh(double x) { return std::tanh(x); }
double callExp(double x) { return std::exp(x); }
double callLog(double x) { return std::log(x); }
double callLog10(double x) { return std::log10(x); }
double callSqrt(double x) { return std::sqrt(x); }
double callFloor(double x) { return std::floor(x); }
double callCeil(double x) { return std::ceil(x); }
double callAbs(double x) { return std::fabs(x); }

const Function functions[] = {
    {"sin", 1, callSin, nullptr},     {"cos", 1, callCos, nullptr},     {"tan", 1, callTan, nullptr},
    {"asin", 1, callAsin, nullptr},   {"acos", 1, callAcos, nullptr},   {"atan", 1, callAtan, nullptr},
    {"sinh", 1, callSinh, nullptr},   {"cosh", 1, callCosh, nullptr},   {"tanh", 1, callTanh, nullptr},
    {"exp", 1, callExp, nullptr},     {"log", 1, callLog, nullptr},     {"log10", 1, callLog10, nullptr},
    {"sqrt", 1, callSqrt, nullptr},   {"floor", 1, callFloor, nullptr}, {"ceil", 1, callCeil, nullptr},
    {"abs", 1, callAbs, nullptr},     {"hypot", 2, nullptr, my_hypot},  {"deg", 1, deg, nullptr},
    {"rad", 1, rad, nullptr},         {"sgn", 1, sgn, nullptr},         {"min", 2, nullptr, my_min},
    {"max", 2, nullptr, my_max},
};

struct Constant {
    const char* name;
    double value;
};

const Constant constants[] = {{"pi", 3.141592653589793}, {"e", 2.718281828459045}};

// `name` lowered and cut to the variable name length.
void normaliseName(const char* name, char (&out)[Evaluator::maxNameLength + 1])
{
    int i = 0;
    for (; name[i] != '\0' && i < Evaluator::maxNameLength; ++i)
        out[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    out[i] = '\0';
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }
bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

Evaluator::Evaluator()
{
    ClearAllVars();
    expression[0] = '\0';
    token[0] = '\0';
}

int Evaluator::lastErrorCode() { return errorCode; }
int Evaluator::lastErrorPosition() { return errorPosition; }
const char* Evaluator::lastErrorToken() { return errorToken; }

void Evaluator::ClearAllVars()
{
    for (Variable& variable : variables) {
        variable.name[0] = '\0';
        variable.value = 0;
    }
}

int Evaluator::ClearVar(const char* name)
{
    char key[maxNameLength + 1];
    normaliseName(name, key);
    for (Variable& variable : variables) {
        if (variable.name[0] != '\0' && std::strcmp(variable.name, key) == 0) {
            variable.name[0] = '\0';
            variable.value = 0;
            return 1;
        }
    }
    return 0;
}

int Evaluator::GetValue(const char* name, double& value) const
{
    char key[maxNameLength + 1];
    normaliseName(name, key);
    if (key[0] == '\0')
        return 0;
    for (const Variable& variable : variables) {
        if (std::strcmp(variable.name, key) == 0) {
            value = variable.value;
            return 1;
        }
    }
    for (const Constant& constant : constants) {
        if (std::strcmp(constant.name, key) == 0) {
            value = constant.value;
            return 1;
        }
    }
    return 0;
}

int Evaluator::SetValue(const char* name, const double* value)
{
    char key[maxNameLength + 1];
    normaliseName(name, key);
    Variable* free = nullptr;
    for (Variable& variable : variables) {
        if (variable.name[0] == '\0') {
            if (!free)
                free = &variable;
        } else if (std::strcmp(variable.name, key) == 0) {
            variable.value = *value;
            return 1;
        }
    }
    if (!free)
        return 0;
    std::memcpy(free->name, key, sizeof key);
    free->value = *value;
    return 1;
}

int Evaluator::Evaluate(const char* text, double& result, int& assigned)
{
    result = 0;
    assigned = 0;
    errorCode = 0;
    errorPosition = 0;
    errorToken[0] = '\0';
    const std::size_t length = text ? std::strlen(text) : 0;
    if (length > maxExpressionLength) {
        errorCode = errorTooLong;
        errorPosition = maxExpressionLength;
        return errorCode;
    }
    for (std::size_t i = 0; i < length; ++i)
        expression[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    expression[length] = '\0';
    position = expression;
    assignment = false;
    try {
        Parse();
        if (type == tokenEnd)
            raise(errorEmpty);
        double value = 0;
        Level1(value);
        result = value;
        assigned = assignment ? 1 : 0;
        return errorNone;
    } catch (const EvaluatorError& error) {
        result = 0;
        assigned = 0;
        return error.code;
    }
}

void Evaluator::raise(int code)
{
    errorCode = code;
    errorPosition = static_cast<int>((tokenStart ? tokenStart : position) - expression);
    std::memcpy(errorToken, token, sizeof errorToken);
    throw EvaluatorError{code};
}

bool Evaluator::isDelimiter(char c) const
{
    return c != '\0' && std::strchr("%()*+,-/=^", c) != nullptr;
}

bool Evaluator::tokenIs(char delimiter) const
{
    return type == tokenDelimiter && token[0] == delimiter;
}

void Evaluator::Parse()
{
    type = tokenEnd;
    token[0] = '\0';
    while (isSpace(*position))
        ++position;
    tokenStart = position;
    const char c = *position;
    if (c == '\0')
        return;
    if (isDelimiter(c)) {
        type = tokenDelimiter;
        token[0] = c;
        token[1] = '\0';
        ++position;
    } else if (isLetter(c)) {
        type = tokenIdentifier;
        int length = 0;
        while (isLetter(*position) || isDigit(*position)) {
            if (length < maxNameLength)
                token[length++] = *position;
            ++position;
        }
        token[length] = '\0';
    } else if (isDigit(c) || c == '.') {
        type = tokenNumber;
        int length = 0;
        while (isDigit(*position) || *position == '.') {
            if (length == maxTokenLength)
                raise(errorTokenTooLong);
            token[length++] = *position++;
            token[length] = '\0';
        }
    } else {
        token[0] = c;
        token[1] = '\0';
        raise(errorSyntax);
    }
    while (isSpace(*position))
        ++position;
}

void Evaluator::Level1(double& r)
{
    if (type == tokenIdentifier && *position == '=') {
        char name[maxNameLength + 1];
        std::memcpy(name, token, sizeof name);
        Parse();  // the "="
        Parse();
        assignment = true;
        if (type == tokenEnd) {
            ClearVar(name);
            r = 0;
            return;
        }
        Level2(r);
        if (!SetValue(name, &r))
            raise(errorTableFull);
        return;
    }
    Level2(r);
}

void Evaluator::Level2(double& r)
{
    Level3(r);
    while (tokenIs('+') || tokenIs('-')) {
        const char op = token[0];
        Parse();
        double operand = 0;
        Level3(operand);
        r = op == '+' ? r + operand : r - operand;
    }
}

void Evaluator::Level3(double& r)
{
    Level4(r);
    while (tokenIs('*') || tokenIs('/') || tokenIs('%')) {
        const char op = token[0];
        Parse();
        double operand = 0;
        Level4(operand);
        if (op == '*') {
            r *= operand;
        } else {
            if (operand == 0)
                raise(errorDivisionByZero);
            r = op == '/' ? r / operand : std::fmod(r, operand);
        }
    }
}

void Evaluator::Level4(double& r)
{
    Level5(r);
    if (tokenIs('^')) {
        Parse();
        double exponent = 0;
        Level5(exponent);
        r = std::pow(r, exponent);
    }
}

void Evaluator::Level5(double& r)
{
    char sign = 0;
    if (tokenIs('+') || tokenIs('-')) {
        sign = token[0];
        Parse();
    }
    Level6(r);
    if (sign == '-')
        r = -r;
}

void Evaluator::Level6(double& r)
{
    if (tokenIs('(')) {
        Parse();
        if (tokenIs(')'))
            raise(errorMissingArgument);
        Level1(r);
        if (!tokenIs(')'))
            raise(errorUnbalanced);
        Parse();
        return;
    }
    if (type == tokenNumber) {
        r = std::strtod(token, nullptr);
        Parse();
        return;
    }
    if (type == tokenIdentifier) {
        if (*position == '(') {
            const Function* function = nullptr;
            for (const Function& candidate : functions) {
                if (std::strcmp(candidate.name, token) == 0)
                    function = &candidate;
            }
            if (!function)
                raise(errorNoFunction);
            Parse();  // the "("
            double arguments[3] = {};
            int count = 0;
            do {
                Parse();
                if (tokenIs(',') || tokenIs(')'))
                    raise(errorMissingArgument);
                if (count == 3)
                    raise(errorArgumentCount);
                Level1(arguments[count++]);
            } while (tokenIs(','));
            if (!tokenIs(')'))
                raise(errorUnbalanced);
            if (count != function->arguments)
                raise(errorArgumentCount);
            r = function->arguments == 1 ? function->one(arguments[0]) : function->two(arguments[0], arguments[1]);
            Parse();
            return;
        }
        if (!GetValue(token, r))
            raise(errorNoVariable);
        Parse();
        return;
    }
    raise(errorSyntax);
}
