// The vCard reader on arbitrary bytes: an address book file may hold anything.
#include "contacts/VCardReader.h"
#include "foundation/Unicode.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const tvi::Contact& contact : tvi::VCardReader::read(text)) {
        if (!tvi::Unicode::isValidUtf8(contact.name) || !tvi::Unicode::isValidUtf8(contact.vcard)) std::abort();
        for (const tvi::ContactPhone& phone : contact.phones)
            if (!tvi::Unicode::isValidUtf8(phone.value)) std::abort();
    }
    return 0;
}
