// The mask matcher and the rules for the two typed fields. Pure functions of a text:
// they answer 1 (valid) or 0 and leave warning the user to the dialog.
#pragma once

// The address field's format: four pairs of hexadecimal digits separated by full stops.
constexpr char kAddressMask[] = "xx.xx.xx.xx";

// Socket numbers are below 0x4000; longer texts than this cannot be one.
constexpr unsigned kSocketMaxValue = 16383;
constexpr unsigned kSocketMaxDigits = 5;

// 1 when `text` fits the beginning of `mask`: "a" needs a Letter, "d" a Digit, "x" a
// HexDigit, and any other mask character itself. A text longer than the mask never fits.
int MatchMask(const char* text, const char* mask);

// Empty, or at most five Digits whose value (leading zeros allowed) is at most 16383.
int IsValidSocketText(const char* text);

// Empty, or a text that fits the beginning of "xx.xx.xx.xx".
int IsValidAddressText(const char* text);
