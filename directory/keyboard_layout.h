// The two keyboard layouts of a Russian desk, the standard Russian ЙЦУКЕН and the US QWERTY one:
// what a text typed with the wrong one switched on was meant to be.
//
// A text typed in the wrong layout holds, for every key pressed, the character that key gives in
// the other layout with the same shift state; turning each character back into the one its key
// gives in the intended layout recovers the text ("Gtnhjd" was meant as "Петров", "зуекщм" as
// "petrov"). Characters that are the same in both layouts (digits, blanks, "-") stay as they
// are, and so do characters of the intended layout already in the text, so a text typed partly
// in each layout comes out whole. Texts are ANSI (code page 1251).
#pragma once

#include <string>
#include <string_view>

namespace abonex {

// The text typed on QWERTY keys, read as the ЙЦУКЕН keys it was meant for: Latin letters and
// the punctuation on letter keys become Russian letters ("." is "ю", "/" is "."), the shifted
// digits their Russian signs ("@" is the double quote, "#" is "№"). A "." right after a letter
// standing alone is the stop after an initial and stays (so "Gtnhjd G.G." is "Петров П.П.").
std::string qwertyToRussian(std::string_view ansi);

// The text typed on ЙЦУКЕН keys, read as the QWERTY keys it was meant for: Russian letters
// become the Latin letters and punctuation on the same keys; everything else stays.
std::string russianToQwerty(std::string_view ansi);

}  // namespace abonex
