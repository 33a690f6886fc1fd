// The DOS program's version rules answer as Brevane's do: the same cases through both, with the
// same message texts, and thousands of generated version texts compared one by one.
#include "dos/core/dz_versions.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "updater/platform/version_rules.h"

namespace {

struct Answer {
    int code;
    std::string message;
    bool operator==(const Answer& o) const { return code == o.code && message == o.message; }
};

std::ostream& operator<<(std::ostream& out, const Answer& a) { return out << a.code << " \"" << a.message << "\""; }

void ExpectSame(const std::string& a, const std::string& b, const std::string& c = "A01") {
    SCOPED_TRACE("\"" + a + "\" \"" + b + "\" \"" + c + "\"");
    char dos[DZ_VERSION_MESSAGE];
    std::string brevane;

    dos[0] = '\0';
    brevane.clear();
    Answer bios{dz_compare_bios_version(a.c_str(), b.c_str(), dos), dos};
    EXPECT_EQ((Answer{CompareBiosVersion(a, b, brevane), brevane}), bios);

    dos[0] = '\0';
    brevane.clear();
    Answer me{dz_compare_me_version(a.c_str(), b.c_str(), dos), dos};
    EXPECT_EQ((Answer{CompareMeVersion(a, b, brevane), brevane}), me);

    dos[0] = '\0';
    brevane.clear();
    Answer below{dz_is_below_compatible_version(a.c_str(), b.c_str(), c.c_str(), dos), dos};
    EXPECT_EQ((Answer{IsBelowCompatibleVersion(a, b, c, brevane), brevane}), below);

    const char* dosEnd;
    const char* brevaneEnd;
    EXPECT_EQ(ReadDecimal32(a.c_str(), &brevaneEnd), dz_read_decimal32(a.c_str(), &dosEnd));
    EXPECT_EQ(brevaneEnd - a.c_str(), dosEnd - a.c_str());
}

TEST(DosVersions, AnswerAsBrevanesRules) {
    const char* const cases[][3] = {
        {"A05", "A06", "X03"},  {"A06", "A06", "X03"},     {"a07", "A06", "X03"},   {"X05", "A06", "X03"},
        {"A05", "T01", "X03"},  {"A05", "1.2.3", "X03"},   {"1.2.3", "1.2.4", "A"}, {"1.2.3", "1.2.3", "A01"},
        {"1.3.0", "1.2.9", "A01"}, {"95.0.0", "1.0.0", "A01"}, {"1.2", "1.2.3", "A01"}, {"1.2.100", "1.2.3", "A01"},
        {"1.2.3", "1.-2.3", "A01"}, {"A5", "A06", "X03"},   {"", "", ""},            {"#05", "#06", "X03"},
        {"11.8.60.3561", "11.8.60.3560", ""}, {"11.0.5", "11.0.5.1234", ""}, {"11.0.5.0", "11.0.5", ""},
        {"10000.1", "1.1", ""}, {"1.99999", "1.2", ""},     {"12", "12", ""},        {"A05", "A07", "X03"},
        {"X01", "A07", "X03"},  {"A05", "A05", "X03"},     {"  42", "+43", "-1"},   {"99999999999", "1", "A"},
        {"-2147483649", "1", "A"},
    };
    for (const auto& c : cases) ExpectSame(c[0], c[1], c[2]);

    std::mt19937 random(3);
    const std::string alphabet = "0123456789..aAxXt+- \t";
    auto text = [&] {
        std::string s;
        for (size_t n = random() % 9; n > 0; --n) s += alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) ExpectSame(text(), text(), text());
}

}  // namespace
