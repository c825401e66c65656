// The JSON reader: rule tables and actions for the grammar driver, over a token reader.
#include "core/json_reader.h"

#include "core/error_state.h"
#include "core/grammar_driver.h"
#include "core/internal_error.h"

#include <cerrno>
#include <iterator>
#include <memory>
#include <vector>

namespace {

// Keyword codes the grammar tests; the feed maps every reader's keywords onto them.
constexpr uint16_t KW_TRUE = 128;
constexpr uint16_t KW_FALSE = 129;
constexpr uint16_t KW_NULL = 130;
const char *const json_keywords[] = {"true", "false", "null"};

enum json_rule_t
{
  RULE_DOCUMENT,
  RULE_ARRAY_BODY,
  RULE_OBJECT_BODY,
  RULE_MEMBER,
  RULE_NEGATIVE_NUMBER,
  RULE_VALUE,
};

enum json_action_t : uint8_t
{
  ACT_BEGIN_ARRAY,
  ACT_CLOSE_CONTAINER,
  ACT_BEGIN_OBJECT,
  ACT_ADD_MEMBER,
  ACT_SET_KEY,
  ACT_NEGATIVE_NUMBER,
  ACT_TOKEN_VALUE,
  ACT_START_STRING,
  ACT_APPEND_STRING,
  ACT_STRING_VALUE,
};

constexpr uint8_t OK = GRAMMAR_MATCHED;
constexpr uint8_t NA = GRAMMAR_NO_ACTION;
constexpr int16_t END = GRAMMAR_END_MARKER;
constexpr int16_t NONE = GRAMMAR_NO_RULE;

// 0 document: a value.
const grammar_rule_entry_t rule_document[] = {
  {GRAMMAR_NO_TOKEN, RULE_VALUE, OK, NA},
};
// 1 array body: "]" at once, or values separated by ",", then "]".
const grammar_rule_entry_t rule_array_body[] = {
  {GRAMMAR_NO_TOKEN, NONE, 1, ACT_BEGIN_ARRAY},
  {']', NONE, OK, ACT_CLOSE_CONTAINER},
  {GRAMMAR_NO_TOKEN, RULE_VALUE, 3, NA},
  {',', RULE_VALUE, 3, NA},
  {']', NONE, OK, ACT_CLOSE_CONTAINER},
  {END, JSON_SYNTAX_ERROR, 0, 0},
};
// 2 object body: "}" at once, or members separated by ",", then "}".
const grammar_rule_entry_t rule_object_body[] = {
  {GRAMMAR_NO_TOKEN, NONE, 1, ACT_BEGIN_OBJECT},
  {'}', NONE, OK, ACT_CLOSE_CONTAINER},
  {GRAMMAR_NO_TOKEN, RULE_MEMBER, 3, NA},
  {',', NONE, 2, NA},
  {'}', NONE, OK, ACT_CLOSE_CONTAINER},
  {END, JSON_SYNTAX_ERROR, 0, 0},
};
// 3 member: a string or a name, ":", a value.
const grammar_rule_entry_t rule_member[] = {
  {TOKEN_STRING, NONE, 3, ACT_ADD_MEMBER},
  {TOKEN_NAME, NONE, 3, ACT_ADD_MEMBER},
  {END, JSON_MEMBER_NAME_EXPECTED, 0, 0},
  {':', NONE, 5, ACT_SET_KEY},
  {END, JSON_COLON_EXPECTED, 0, 0},
  {GRAMMAR_NO_TOKEN, RULE_VALUE, OK, NA},
};
// 4 negative number: the number after "-".
const grammar_rule_entry_t rule_negative_number[] = {
  {TOKEN_INTEGER, NONE, OK, ACT_NEGATIVE_NUMBER},
  {TOKEN_FLOAT, NONE, OK, ACT_NEGATIVE_NUMBER},
  {END, JSON_SYNTAX_ERROR, 0, 0},
};
// 5 value; entries 10 and 11 join the string literals that follow the first.
const grammar_rule_entry_t rule_value[] = {
  {'-', RULE_NEGATIVE_NUMBER, OK, NA},
  {TOKEN_INTEGER, NONE, OK, ACT_TOKEN_VALUE},
  {TOKEN_FLOAT, NONE, OK, ACT_TOKEN_VALUE},
  {TOKEN_STRING, NONE, 10, ACT_START_STRING},
  {'[', RULE_ARRAY_BODY, OK, NA},
  {'{', RULE_OBJECT_BODY, OK, NA},
  {KW_TRUE, NONE, OK, ACT_TOKEN_VALUE},
  {KW_FALSE, NONE, OK, ACT_TOKEN_VALUE},
  {KW_NULL, NONE, OK, ACT_TOKEN_VALUE},
  {END, JSON_SYNTAX_ERROR, 0, 0},
  {TOKEN_STRING, NONE, 10, ACT_APPEND_STRING},
  {GRAMMAR_NO_TOKEN, NONE, OK, ACT_STRING_VALUE},
};

const grammar_rule_entry_t *const json_rules[] = {
  rule_document, rule_array_body, rule_object_body, rule_member, rule_negative_number, rule_value,
};

struct json_parser_t : grammar_driver_t
{
  token_reader_t *reader = nullptr;
  // Open objects and arrays, innermost last; each is placed into its parent when it closes.
  std::vector<std::unique_ptr<json_value_t>> containers;
  json_value_t root;
  qvector<lexer_token_t> pushed_back; // delivered before the reader's tokens, the last one first
  qstring accumulator;                // adjacent string literals joined
};

json_parser_t *parser_of(grammar_driver_t *d)
{
  return static_cast<json_parser_t *>(d);
}

// The grammar's keywords by their text: a reader made for other input (the cfg reader's) numbers its
// keywords differently, and a keyword that is not a JSON one is a plain name here (a member key, say).
void map_keyword(lexer_token_t *token)
{
  if ( token->kind != TOKEN_NAME && (token->kind < TOKEN_FIRST_KEYWORD || token->kind > TOKEN_LAST_KEYWORD) )
    return;
  const std::string_view text = token->text.view();
  if ( text == "true" )
    token->kind = KW_TRUE;
  else if ( text == "false" )
    token->kind = KW_FALSE;
  else if ( text == "null" )
    token->kind = KW_NULL;
  else
    token->kind = TOKEN_NAME;
}

int json_feed(grammar_driver_t *d)
{
  json_parser_t *p = parser_of(d);
  if ( !p->pushed_back.empty() )
  {
    lexer_token_copy(&d->token, p->pushed_back.back());
    p->pushed_back.pop_back();
  }
  else if ( const int code = read_token(p->reader, &d->token); code != 0 )
  {
    return code;
  }
  map_keyword(&d->token);
  return 0;
}

void place_value(json_parser_t *p, json_value_t &&value)
{
  if ( p->containers.empty() )
  {
    if ( p->root.tag != JSON_NONE )
      interr(1271);
    p->root = std::move(value);
    return;
  }
  json_value_t &top = *p->containers.back();
  if ( top.tag == JSON_OBJECT )
  {
    if ( top.u.obj->empty() )
      interr(1272);
    json_value_t &slot = top.u.obj->back().value;
    if ( slot.tag != JSON_NONE )
      interr(1273);
    slot = std::move(value);
  }
  else if ( top.tag == JSON_ARRAY )
  {
    *jarr_append_slot(top.u.arr) = std::move(value);
  }
  else
  {
    interr(1274);
  }
}

// The number of the current token; negated after "-".
int number_value(json_parser_t *p, bool negative)
{
  json_value_t v;
  const lexer_token_t &t = p->token;
  if ( t.kind == TOKEN_INTEGER )
  {
    // Negated as unsigned: the literal of INT64_MIN's magnitude wraps onto it without overflow.
    v.tag = JSON_INT;
    v.u.i = int64_t(negative ? 0 - t.number : t.number);
  }
  else
  {
    double d;
    xfloat_t x = t.value.real;
    if ( xfloat_convert_processor(&d, &x, XFLOAT_PROC_DOUBLE | XFLOAT_TO_PROCESSOR) != 1 )
      return qerrno_set(JSON_SYNTAX_ERROR);
    v.tag = JSON_DOUBLE;
    v.u.d = negative ? -d : d;
  }
  place_value(p, std::move(v));
  return 0;
}

// Actions, in the order of json_action_t. Each answers 0 to go on, or an error code it has set.

int begin_container(grammar_driver_t *d, uint32_t tag)
{
  auto v = std::make_unique<json_value_t>();
  v->tag = tag;
  if ( tag == JSON_ARRAY )
    v->u.arr = new jarr_t;
  else
    v->u.obj = new json_object_t;
  parser_of(d)->containers.push_back(std::move(v));
  return 0;
}

int begin_array(grammar_driver_t *d, int)
{
  return begin_container(d, JSON_ARRAY);
}

int begin_object(grammar_driver_t *d, int)
{
  return begin_container(d, JSON_OBJECT);
}

int close_container(grammar_driver_t *d, int)
{
  json_parser_t *p = parser_of(d);
  std::unique_ptr<json_value_t> top = std::move(p->containers.back());
  p->containers.pop_back();
  place_value(p, std::move(*top));
  return 0;
}

int add_member(grammar_driver_t *d, int)
{
  json_parser_t *p = parser_of(d);
  if ( p->containers.empty() || p->containers.back()->tag != JSON_OBJECT )
    interr(1282);
  json_object_t *obj = p->containers.back()->u.obj;
  if ( !obj->empty() && obj->back().value.tag == JSON_NONE )
    interr(1275);
  json_object_append_member(obj);
  return 0;
}

int set_key(grammar_driver_t *d, int)
{
  // The ":" token left the text of the key literal in place.
  json_member_t &m = parser_of(d)->containers.back()->u.obj->back();
  if ( !m.key.empty() )
    interr(1276);
  m.key = d->token.text;
  return 0;
}

int negative_number(grammar_driver_t *d, int)
{
  return number_value(parser_of(d), true);
}

int token_value(grammar_driver_t *d, int)
{
  json_parser_t *p = parser_of(d);
  json_value_t v;
  switch ( d->token.kind )
  {
    case KW_TRUE:
    case KW_FALSE:
      v.tag = JSON_BOOL;
      v.u.b = d->token.kind == KW_TRUE ? 1 : 0;
      break;
    case KW_NULL:
      v.tag = JSON_NULL;
      break;
    default:
      return number_value(p, false);
  }
  place_value(p, std::move(v));
  return 0;
}

int start_string(grammar_driver_t *d, int)
{
  parser_of(d)->accumulator = d->token.text;
  return 0;
}

int append_string(grammar_driver_t *d, int)
{
  parser_of(d)->accumulator.append(d->token.text);
  return 0;
}

int string_value(grammar_driver_t *d, int)
{
  json_parser_t *p = parser_of(d);
  json_value_t v;
  json_set_string(&v, new qstring(std::move(p->accumulator)));
  place_value(p, std::move(v));
  return 0;
}

const grammar_action_t json_actions[] = {
  begin_array, close_container, begin_object, add_member,    set_key,
  negative_number, token_value, start_string, append_string, string_value,
};
static_assert(std::size(json_actions) == ACT_STRING_VALUE + 1);

} // namespace

int json_parse_tokens(json_value_t *result, token_reader_t *reader, qvector<lexer_token_t> *pushed_back)
{
  json_parser_t p;
  p.feed = json_feed;
  p.rules = json_rules;
  p.actions = json_actions;
  p.reader = reader;
  if ( pushed_back != nullptr )
    p.pushed_back.swap(*pushed_back);
  if ( !grammar_driver(&p, RULE_DOCUMENT) )
    return qerrno_get();
  *result = std::move(p.root);
  if ( pushed_back != nullptr )
  {
    // Hand back what was read and not used: the lookahead is delivered before the rest.
    pushed_back->swap(p.pushed_back);
    if ( p.pending != 0 )
      pushed_back->push_back(std::move(p.token));
  }
  return 0;
}

int json_parse_text(json_value_t *result, const char *text)
{
  token_reader_t *reader = create_token_reader(json_keywords, std::size(json_keywords), nullptr, 0);
  if ( reader == nullptr )
  {
    errno = ENOMEM;
    return qerrno_set(1);
  }
  reader->set_text(text != nullptr ? text : "", nullptr);
  const int code = json_parse_tokens(result, reader, nullptr);
  destroy_token_reader(reader);
  return code;
}
