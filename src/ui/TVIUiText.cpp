#include "ui/TVIUiText.h"

#include "environment/TVILocalizationUtilities.h"
#include "foundation/Bundle.h"

namespace tvi {

std::string TVIUiText::localizedStd(const char* english)
{
    return TVILocalizationUtilities::replaceAppNameInString(Bundle::mainBundle().localizedString(english));
}

QString TVIUiText::localized(const char* english) { return QString::fromStdString(localizedStd(english)); }

}
