// Hexadecimal digits: the value of one that is read, and the characters that write one.
#pragma once

// The value of a hexadecimal digit of either case, or -1 for any other character.
constexpr int hex_digit_value(unsigned char c)
{
  if ( c >= '0' && c <= '9' )
    return c - '0';
  if ( c >= 'a' && c <= 'f' )
    return c - 'a' + 10;
  if ( c >= 'A' && c <= 'F' )
    return c - 'A' + 10;
  return -1;
}

// The digits that write the values 0 to 15, upper case.
inline constexpr char upper_hex_digits[] = "0123456789ABCDEF";
