#include "foundation/TVIApplication.h"

#include "foundation/Bundle.h"

namespace tvi {

std::optional<std::string> TVIApplication::applicationName()
{
    return Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleExecutable").stringValue();
}

std::string TVIApplication::nameForFiles()
{
    return applicationName().value_or("Telvora");
}

}
