#pragma once
// The UI driver's command line: one verb, then "--name value" options (and "--flag" switches).
// A text option can also be given hex-encoded as "--name-hex", so that the harness can pass
// captions and button texts byte for byte through Wine's command-line rebuilding.

#include <map>
#include <set>
#include <string>

struct DriverOptions {
    std::string verb;
    std::map<std::string, std::string> values;  // option name without "--" -> value
    std::set<std::string> flags;                // switches without "--"

    bool Has(const std::string& name) const { return values.count(name) != 0; }
    std::string Get(const std::string& name, const std::string& fallback = "") const;
    // Parses a decimal or 0x-prefixed number; `fallback` when absent. False when malformed.
    bool GetNumber(const std::string& name, unsigned long long fallback, unsigned long long& out) const;
    bool Flag(const std::string& name) const { return flags.count(name) != 0; }
};

// Fills `options` from argv; false with `error` set on a malformed command line. `switches` are
// the names that take no value.
bool ParseDriverOptions(int argc, char** argv, const std::set<std::string>& switches, DriverOptions& options,
                        std::string& error);

// Quotes text for the output: "..." with \\, \", \r, \n, \t and \xHH for other control and
// non-ASCII bytes, so that every line stays one line and every byte can be recovered.
std::string QuoteText(const std::string& text);

// A button text as a person reads it: '&' mnemonic markers removed ("&&" stays one '&').
std::string StripMnemonic(const std::string& text);
