// Tests of event sources and handlers: linking, dispatch order, answers and unlinking on destruction.
#include "core/event_source.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A handler that logs its name with the first two int arguments and answers a fixed value, or runs an
// action before answering.
class recording_handler : public event_handler_t
{
public:
  recording_handler(std::string name, std::vector<std::string> *log, void *answer = nullptr)
    : name_(std::move(name)), log_(log), answer_(answer)
  {
  }

  void *handle(uint64_t code, va_list va) override
  {
    const int first = va_arg(va, int);
    const int second = va_arg(va, int);
    log_->push_back(name_ + ":" + std::to_string(code) + ":" + std::to_string(first) + "," + std::to_string(second));
    if ( action )
      action();
    return answer_;
  }

  std::function<void()> action;

private:
  std::string name_;
  std::vector<std::string> *log_;
  void *answer_;
};

int answer_b;
int answer_c;

TEST(EventSource, CallsHandlersInLinkOrderUntilOneAnswers)
{
  std::vector<std::string> log;
  event_source_t source;
  recording_handler a("A", &log);
  recording_handler b("B", &log, &answer_b);
  recording_handler c("C", &log, &answer_c);
  ASSERT_TRUE(source.add_handler(&a));
  ASSERT_TRUE(source.add_handler(&b));
  ASSERT_TRUE(source.add_handler(&c));

  EXPECT_EQ(source.notify(7, 1, 2), &answer_b);
  // Every handler read the arguments from the start: each got its own copy of the list.
  EXPECT_EQ(log, (std::vector<std::string> { "A:7:1,2", "B:7:1,2" }));
}

TEST(EventSource, NoHandlerOrNoAnswerGivesNull)
{
  std::vector<std::string> log;
  event_source_t source;
  EXPECT_EQ(source.notify(1, 0, 0), nullptr);
  recording_handler a("A", &log);
  recording_handler b("B", &log);
  source.add_handler(&a);
  source.add_handler(&b);
  EXPECT_EQ(source.notify(0xFFFFFFFF00000001ull, 3, 4), nullptr);
  EXPECT_EQ(log, (std::vector<std::string> { "A:18446744069414584321:3,4", "B:18446744069414584321:3,4" }));
}

TEST(EventSource, AddingTwiceLinksOnce)
{
  std::vector<std::string> log;
  event_source_t source;
  recording_handler a("A", &log);
  EXPECT_TRUE(source.add_handler(&a));
  EXPECT_FALSE(source.add_handler(&a));
  source.notify(1, 5, 6);
  EXPECT_EQ(log, (std::vector<std::string> { "A:1:5,6" }));
}

TEST(EventSource, DestroyedHandlerLeavesEverySource)
{
  std::vector<std::string> log;
  event_source_t s1;
  event_source_t s2;
  recording_handler keep("K", &log);
  {
    recording_handler gone("G", &log);
    s1.add_handler(&gone);
    s2.add_handler(&gone);
    s1.add_handler(&keep);
  }
  s1.notify(1, 0, 0);
  s2.notify(2, 0, 0);
  EXPECT_EQ(log, (std::vector<std::string> { "K:1:0,0" }));
}

TEST(EventSource, DestroyedSourceLeavesItsHandlers)
{
  std::vector<std::string> log;
  recording_handler h("H", &log);
  event_source_t survivor;
  {
    event_source_t s1;
    s1.add_handler(&h);
    survivor.add_handler(&h);
  }
  // The handler no longer lists the dead source: notifying and destroying it must not touch that source
  // (the sanitizer build catches any access).
  survivor.notify(3, 1, 1);
  EXPECT_EQ(log, (std::vector<std::string> { "H:3:1,1" }));
  auto late = std::make_unique<event_source_t>();
  EXPECT_TRUE(late->add_handler(&h));
  late.reset();
}

TEST(EventSource, HandlersChangedDuringDispatch)
{
  std::vector<std::string> log;
  event_source_t source;
  recording_handler first("1", &log);
  auto victim = std::make_unique<recording_handler>("V", &log);
  recording_handler late("L", &log);
  recording_handler last("Z", &log);
  source.add_handler(&first);
  source.add_handler(victim.get());
  source.add_handler(&last);
  // The first handler destroys the next one and links another: the dead one is skipped, the new one waits
  // for the next notification.
  first.action = [&] {
    victim.reset();
    source.add_handler(&late);
    first.action = nullptr;
  };
  source.notify(1, 0, 0);
  EXPECT_EQ(log, (std::vector<std::string> { "1:1:0,0", "Z:1:0,0" }));
  log.clear();
  source.notify(2, 0, 0);
  EXPECT_EQ(log, (std::vector<std::string> { "1:2:0,0", "Z:2:0,0", "L:2:0,0" }));
}

TEST(EventSource, UnlinkLeavesTheObjectsOwnList)
{
  std::vector<std::string> log;
  event_source_t source;
  recording_handler h("H", &log);
  source.add_handler(&h);
  unlink_event_peers(&h);
  source.notify(1, 0, 0);
  EXPECT_TRUE(log.empty());
  // The source is still in the handler's own list, so linking again does not add it twice there; the
  // source itself takes the handler back.
  EXPECT_TRUE(source.add_handler(&h));
  source.notify(2, 0, 0);
  EXPECT_EQ(log, (std::vector<std::string> { "H:2:0,0" }));
}

} // namespace
