// The #if and #elif expression evaluator: 64-bit values with an unsigned mark, C precedence, no short-circuiting.
#include "core/token_reader_p.h"

#include "core/error_state.h"

#include <cstdint>
#include <vector>

namespace
{

// Leaves any depth of the parse with an error code.
struct expression_error_t
{
  int code;
};

// Parentheses and "?:" may nest this deep; the parse recurses once per level.
constexpr int MAX_EXPRESSION_NESTING = 256;

// Binary operator levels, lowest first; 0 is not a binary operator.
int binary_level(uint16_t kind)
{
  switch ( kind )
  {
    case token_pair('|', '|'): return 1;
    case token_pair('&', '&'): return 2;
    case '|': return 3;
    case '^': return 4;
    case '&': return 5;
    case token_pair('=', '='):
    case token_pair('!', '='): return 6;
    case '<':
    case '>':
    case token_pair('<', '='):
    case token_pair('>', '='): return 7;
    case token_pair('<', '<'):
    case token_pair('>', '>'): return 8;
    case '+':
    case '-': return 9;
    case '*':
    case '/':
    case '%': return 10;
    default: return 0;
  }
}

constexpr int LOWEST_LEVEL = 1;

// Arithmetic is done on the unsigned bits so that nothing overflows; signed views are taken only to
// compare, divide and shift right.
cond_value_t apply(uint16_t op, const cond_value_t &left, const cond_value_t &right)
{
  const uint64_t a = left.value;
  const uint64_t b = right.value;
  const bool as_unsigned = left.unsigned_mark != 0 || right.unsigned_mark != 0;
  const auto sa = int64_t(a);
  const auto sb = int64_t(b);
  const auto flag = [](bool v) { return cond_value_t {0, v ? 1u : 0u}; };
  const auto keep = [&](uint64_t v) { return cond_value_t {left.unsigned_mark, v}; };
  switch ( op )
  {
    case token_pair('|', '|'): return flag(a != 0 || b != 0);
    case token_pair('&', '&'): return flag(a != 0 && b != 0);
    case '|': return keep(a | b);
    case '^': return keep(a ^ b);
    case '&': return keep(a & b);
    case token_pair('=', '='): return flag(a == b);
    case token_pair('!', '='): return flag(a != b);
    case '<': return flag(as_unsigned ? a < b : sa < sb);
    case '>': return flag(as_unsigned ? a > b : sa > sb);
    case token_pair('<', '='): return flag(as_unsigned ? a <= b : sa <= sb);
    case token_pair('>', '='): return flag(as_unsigned ? a >= b : sa >= sb);
    case token_pair('<', '<'): return keep(a << (b & 63));
    case token_pair('>', '>'):
      return keep(left.unsigned_mark != 0 ? a >> (b & 63) : uint64_t(sa >> (b & 63)));
    case '+': return keep(a + b);
    case '-': return keep(a - b);
    case '*': return keep(a * b);
    case '/':
    case '%':
      if ( b == 0 )
        throw expression_error_t {86};
      if ( as_unsigned )
        return keep(op == '/' ? a / b : a % b);
      if ( sa == INT64_MIN && sb == -1 )
        return keep(op == '/' ? a : 0); // the quotient wraps to itself; the remainder is 0
      return keep(uint64_t(op == '/' ? sa / sb : sa % sb));
    default: throw expression_error_t {47};
  }
}

class condition_parser_t
{
public:
  explicit condition_parser_t(token_reader_impl_t *r) : r_(r) {}

  cond_value_t parse()
  {
    advance();
    const cond_value_t value = conditional();
    if ( token_.kind != TOKEN_END )
      throw expression_error_t {47};
    return value;
  }

private:
  void advance()
  {
    if ( const int code = next_token(r_, &token_); code != 0 )
      throw expression_error_t {code};
  }

  // Both branches are always evaluated, so an error in either counts.
  cond_value_t conditional()
  {
    if ( ++depth_ > MAX_EXPRESSION_NESTING )
      throw expression_error_t {47};
    cond_value_t value = binary(LOWEST_LEVEL);
    if ( token_.kind == '?' )
    {
      advance();
      const cond_value_t if_true = conditional();
      if ( token_.kind != ':' )
        throw expression_error_t {47};
      advance();
      const cond_value_t if_false = conditional();
      value = value.value != 0 ? if_true : if_false;
    }
    --depth_;
    return value;
  }

  // Left-associative operators of min_level and above.
  cond_value_t binary(int min_level)
  {
    cond_value_t left = unary();
    for ( ;; )
    {
      const uint16_t op = token_.kind;
      const int level = binary_level(op);
      if ( level == 0 || level < min_level )
        return left;
      advance();
      const cond_value_t right = binary(level + 1);
      left = apply(op, left, right);
    }
  }

  cond_value_t unary()
  {
    // Prefix operators are gathered first and applied innermost first, without recursion.
    std::vector<uint16_t> ops;
    while ( token_.kind == '!' || token_.kind == '+' || token_.kind == '-' || token_.kind == '~' )
    {
      ops.push_back(token_.kind);
      advance();
    }
    cond_value_t value = primary();
    for ( size_t i = ops.size(); i-- > 0; )
    {
      switch ( ops[i] )
      {
        case '!': value.value = value.value == 0 ? 1 : 0; break;
        case '-': value.value = 0 - value.value; break;
        case '~': value.value = ~value.value; break;
        default: break;
      }
    }
    return value;
  }

  cond_value_t primary()
  {
    cond_value_t value;
    switch ( token_.kind )
    {
      case TOKEN_INTEGER:
      case TOKEN_CHAR:
        value = {token_.flag, token_.number};
        break;
      case TOKEN_INT64:
        value = {token_.flag, uint64_t(token_.value.integer)};
        break;
      case TOKEN_NAME:
        value = {1, 0};
        break;
      case '(':
        advance();
        value = conditional();
        if ( token_.kind != ')' )
          throw expression_error_t {47};
        break;
      default:
        throw expression_error_t {47};
    }
    advance();
    return value;
  }

  token_reader_impl_t *r_;
  lexer_token_t token_;
  int depth_ = 0;
};

} // namespace

int evaluate_condition(token_reader_impl_t *r, const char *text, cond_value_t *value)
{
  directive_scope_t scope(r, text, true);
  try
  {
    condition_parser_t parser(r);
    *value = parser.parse();
    return 0;
  }
  catch ( const expression_error_t &error )
  {
    return fail(error.code);
  }
}
