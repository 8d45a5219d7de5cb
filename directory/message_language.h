// The language of the messages the directory's exchange with files gives: English for the tool,
// whose messages are the engine's, and Russian for the windows, whose users read Russian. A
// message is written once with both texts side by side, in the function that gives it.
#pragma once

#include <string>
#include <string_view>

#include "engine/dbf/codepage.h"
#include "engine/dbf/near_form.h"

namespace abonex {

enum class MessageLanguage { English, Russian };

// `english` or `russian`, as `language` says.
inline std::string inLanguage(MessageLanguage language, std::string english, std::string russian) {
    return language == MessageLanguage::Russian ? std::move(russian) : std::move(english);
}

// describeFault (engine/dbf/codepage.h) in `language`: 'holds "«" (U+00AB), which code page
// 866 cannot hold', 'содержит символ "☺" (U+263A), которого нет в кодовой странице 866'.
std::string describeFaultIn(MessageLanguage language, std::string_view utf8, const Utf8Fault& fault,
                            CodePage page);
// NearFormTally::describe in `language`.
std::string describeNearFormsIn(MessageLanguage language, const NearFormTally& tally,
                                CodePage page);

}  // namespace abonex
