// The grammar driver: walks rule tables, pulling tokens through the feed and calling actions.
#include "core/grammar_driver.h"

#include "core/error_state.h"

namespace {

// Names, keywords and strings carry their text; for other kinds the token's text field is left over from
// an earlier token and must not be reported as this one's.
bool token_has_text(uint16_t kind)
{
  return kind == TOKEN_NAME || kind == TOKEN_STRING || (kind >= TOKEN_FIRST_KEYWORD && kind <= TOKEN_LAST_KEYWORD);
}

bool end_marker_result(grammar_driver_t *d, int code)
{
  if ( code == 0 )
    return true;
  if ( code == GRAMMAR_ERROR_NEAR_TOKEN )
    error_arg_text(0, token_has_text(d->token.kind) ? d->token.text.c_str() : "");
  qerrno_set(code);
  return false;
}

bool drive_rule(grammar_driver_t *d, const grammar_rule_entry_t *entries)
{
  const grammar_rule_entry_t *e = entries;
  for ( ;; )
  {
    if ( e->token == GRAMMAR_END_MARKER )
      return end_marker_result(d, e->sub_rule);
    if ( e->token != GRAMMAR_NO_TOKEN )
    {
      if ( d->pending == 0 )
      {
        if ( d->feed(d) != 0 )
          return false;
        d->pending = 1;
      }
      const uint16_t kind = d->token.kind;
      if ( kind != uint16_t(e->token) )
      {
        // The next alternatives that test other kinds are passed over in one run.
        do
          ++e;
        while ( e->token != GRAMMAR_NO_TOKEN && e->token != GRAMMAR_END_MARKER && kind != uint16_t(e->token) );
        continue;
      }
      d->pending = 0;
    }
    if ( e->sub_rule != GRAMMAR_NO_RULE && !grammar_driver(d, e->sub_rule) )
      return false;
    if ( e->action != GRAMMAR_NO_ACTION )
    {
      const int result = d->actions[e->action](d, e->action);
      if ( result == GRAMMAR_REJECT )
      {
        d->pending = 1;
        ++e;
        continue;
      }
      if ( result != 0 )
        return false;
    }
    if ( e->next == GRAMMAR_MATCHED )
      return true;
    e = entries + e->next;
  }
}

} // namespace

bool grammar_driver(grammar_driver_t *driver, int rule)
{
  if ( driver->depth >= GRAMMAR_MAX_DEPTH )
  {
    set_error_arg_number(0, GRAMMAR_MAX_DEPTH);
    qerrno_set(GRAMMAR_TOO_DEEP);
    return false;
  }
  ++driver->depth;
  const bool ok = drive_rule(driver, driver->rules[rule]);
  --driver->depth;
  return ok;
}
