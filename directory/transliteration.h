// Russian names written in Latin letters, read back as Cyrillic.
//
// People write Russian names in Latin letters in several ways: the common English-based forms
// ("zh", "kh", "ts", "ch", "sh", "shch", "yu", "ya", "yo", "ye"/"e"; "y" for ы and, after a
// vowel, for й; "x" for кс), the forms of GOST 7.79 system B ("x" for х, "cz" and "c" for ц,
// "shh" for щ, "j" for й, "y`" for ы, "e`" for э, "`" for ь, "``" for ъ), the "ja"/"ju"/"jo"
// forms, and with or without the soft sign before "ya", "ye", "yo", "yu" ("Solovyev" is
// Соловьев, "Belyaev" is Беляев). Since one spelling may stand for several Russian ones, a
// text has several readings: the likeliest first.
//
// Only Latin letters and the signs "`" and "'" are read; everything else (Cyrillic letters,
// digits, blanks, hyphens) stays, so a text partly in each alphabet is read whole. Each Latin
// group gives a Russian letter in the case of its first letter ("Zh" and "ZH" are Ж). Texts
// are ANSI (code page 1251).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace abonex {

// True when the text holds a Latin letter.
bool holdsLatinLetter(std::string_view ansi);

// The Cyrillic readings of the text, likeliest first, without repeats; none when the text holds
// no Latin letter.
std::vector<std::string> cyrillicReadings(std::string_view ansi);

}  // namespace abonex
