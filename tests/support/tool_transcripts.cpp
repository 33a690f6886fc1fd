#include "tests/support/tool_transcripts.h"

#include "updater/tools/update_type.h"

namespace testsupport {

std::vector<std::string> BiosSuccessChunks() {
    return {
        "+---------------------------------------------+\r\n",
        "|   Flash utility stand-in  v5.14   |\r\n+----------------+\r\n",
        "Reading flash ...... done\r\n",
        "Updating NCBlock ... 10%\r",
        "Updating NCBlock ... 60%\r",
        "Updating NCBlock ... 100%\r\n",
        "Verifying NCBlock ..... done\r\n",
    };
}

const char* const kBiosSuccessView =
    "Reading flash ...... done\r\n"
    "Updating NCBlock ... 100%\r\n"
    "Verifying NCBlock ..... done\r\n";

std::vector<std::string> SplitEvery(const std::string& text, size_t size) {
    std::vector<std::string> pieces;
    for (size_t at = 0; at < text.size(); at += size) pieces.push_back(text.substr(at, size));
    return pieces;
}

std::vector<ToolTranscript> AllTranscripts() {
    std::vector<ToolTranscript> all;
    all.push_back({"BiosSuccess", UpdateTypeBios, false, BiosSuccessChunks()});

    std::vector<std::string> biosError = BiosSuccessChunks();
    biosError.resize(3);
    biosError.push_back("Error: Secure Flash Rom Verify fail.\r\n");
    biosError.push_back("Updating NCBlock ... 1%\r");
    biosError.push_back("error 25 in block 7\r\n");
    all.push_back({"BiosError", UpdateTypeBios, false, biosError});

    std::vector<std::string> biosSplit = SplitEvery(
        "banner\r\nbanner\r\nbanner\r\nUpdating ... 50%\rUpdating ... 100%\r\nVerifying NCBlock ..... done\r\n", 5);
    all.push_back({"BiosSplitEveryFive", UpdateTypeBios, false, biosSplit});

    std::vector<std::string> progress = {"Intel (R) Firmware Update Utility\r\n"};
    for (int i = 0; i < 150; ++i) progress.push_back("Progress\r");
    progress.push_back("FW Update is complete\r\n");
    all.push_back({"MeProgress", UpdateTypeMeUpdate, false, progress});

    all.push_back({"MeProgressError",
                   UpdateTypeMeUpdate,
                   false,
                   {"Intel (R) Firmware Update Utility\r\n", "Checking\r\n", "Error 8716: Invalid image\r\n"}});

    all.push_back({"MeFullOutput",
                   UpdateTypeMeUpdate,
                   true,
                   {"Intel (R) Firmware Update Utility Version: 11.8\r\nCopyright (C) 2007 - 2017\r\n\r\n",
                    "Communication Mode: MEI\r\nChecking firmware parameters...\r\n",
                    "Sending the update image to FW for verification:  [ COMPLETE ]\r\n",
                    "Progress: 10%\rProgress: 100%\r\n", "FW Update is complete\r\n"}});

    all.push_back({"MeVersionError", UpdateTypeMeVersion, false, {"FW Version check\r\n", "Error 8703: no ME\r\n"}});
    all.push_back({"DriverLoadError", UpdateTypeDriverLoad, false, {"DrvLoad: Loading HECI.inf\r\n"}});
    return all;
}

}  // namespace testsupport
