#pragma once
// Settings files for the benchmarks, made in memory.
#include <string>

namespace vorda::bench {

// A settings file as the service keeps it: `groups` groups of `channels` channels each. At 256
// groups of 64 channels (1.0 MB) it is the largest the service reads: 64 codes of up to 7
// characters fill a group's channel list, which the file keeps to 511 characters.
inline std::string largeSettingsFile(int groups, int channels) {
    std::string text =
        "[DATABASE]\r\nODBC=ZEL\r\nUSER=ZEL\r\nPASSWORD=QMX\r\n[DATA]\r\nDIR=/data\r\n"
        "[LOG]\r\nDIR=/log\r\n[SYSTEM]\r\nSERVER=srv\r\nMODE=detail\r\n"
        "SCREEN=hide\r\nSIZEMB=100\r\nGROUPS=" +
        std::to_string(groups) + "\r\n";
    for (int g = 1; g <= groups; ++g) {
        const std::string station = "ST" + std::to_string(g);
        text += "[GROUP" + std::to_string(g) + "]\r\nSTATION=" + station +
                "\r\nSIZEMB=100\r\nSPS=40\r\n";
        std::string chan;
        for (int c = 0; c < channels; ++c) {
            const std::string code = "C" + std::to_string(c);
            text += code + "=1160000000\r\nFILE_" + code + "=/var/lib/zel/data/" + station + "_" +
                    code + ".DAT\r\n";
            chan += (c ? "," : "") + code;
        }
        text += "CHAN=" + chan + "\r\n";
    }
    return text;
}

// The i-th of the keys of manyKeysFile.
inline std::string manyKeysKey(int bits, bool crafted, int i) {
    std::string key;
    if (crafted) {
        for (int b = bits - 1; b >= 0; --b) {
            key += ((i >> b) & 1) ? '`' : '@';
        }
    } else {
        const std::string number = std::to_string(i);
        key = "K" + std::string(static_cast<std::size_t>(bits) - 1 - number.size(), '0') + number;
    }
    return key;
}

// One group whose section holds 2^bits further keys of `bits` characters, a line each. Crafted:
// the keys are made of '@' and '`', bytes that differ only in the bit that tells a lower case
// letter from its upper case but are no letters, so that a name rule that looks at that bit
// alone takes them all for one name. Ordinary: numbered keys of the same length, the same size.
// (16,384 keys: 288 KB; 65,536 keys: 1.3 MB.)
inline std::string manyKeysFile(int bits, bool crafted) {
    std::string text = "[SYSTEM]\r\nGROUPS=1\r\n[GROUP1]\r\nSTATION=ST1\r\nCHAN=C0\r\n";
    for (int i = 0; i < (1 << bits); ++i) {
        text += manyKeysKey(bits, crafted, i) + "=1\r\n";
    }
    return text;
}

}  // namespace vorda::bench
