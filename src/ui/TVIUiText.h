#pragma once

#include <QString>

#include <string>

namespace tvi {

// Window texts: the string tables' translation of an English text, "<AppName>" replaced.
class TVIUiText {
public:
    TVIUiText() = delete;
    static QString localized(const char* english);
    static std::string localizedStd(const char* english);
};

}
