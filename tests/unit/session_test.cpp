// The session state machine driven pass by pass over a scripted link and a
// clock the test moves: which frames go out, what the session waits for,
// and how it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Brocast.h"
#include "InstructionSet.h"
#include "SessionContext.h"
#include "SessionDirectory.h"
#include "SessionLink.h"
#include "SocketTaskThread.h"
#include "UserRegistry.h"
#include "WireProtocol.h"

namespace {

class FakeLink : public SessionLink {
 public:
  int64_t now = 1700000000000;  // a whole second
  std::string incoming;         // bytes the tablet has sent and the session not yet taken
  bool peer_closed = false;
  std::vector<std::string> sent;
  int send_result = 1;  // > 0: sent; 0: not writable; -1: failure with `error`
  int error = 0;
  int wakes = 0;
  std::function<void(const std::string&)> on_send;  // runs inside send, as another thread might

  // Winsock's event selection, as SocketSetWaiterWin32 sees it: readability
  // is recorded once when bytes arrive, and recorded again only after a
  // receive (at once when bytes are still waiting). A wait that reports it
  // takes the record. Off: poll's level-triggered readability.
  bool winsock = false;
  bool fd_read_recorded = false;
  bool fd_read_enabled = true;

  // The tablet sends bytes.
  void arrive(const std::string& bytes) {
    incoming += bytes;
    if (fd_read_enabled) fd_read_recorded = true, fd_read_enabled = false;
  }

  int receive(char* buf, int len) override {
    fd_read_enabled = true;
    int n;
    if (incoming.empty()) {
      n = peer_closed ? 0 : kNetWouldBlock;
    } else {
      n = std::min(len, static_cast<int>(incoming.size()));
      incoming.copy(buf, static_cast<size_t>(n));
      incoming.erase(0, static_cast<size_t>(n));
    }
    if (!incoming.empty()) fd_read_recorded = true, fd_read_enabled = false;
    return n;
  }
  int64_t now_ms() override { return now; }
  int send(const std::string& frame) override {
    if (on_send) on_send(frame);
    if (send_result > 0) sent.push_back(frame);
    return send_result > 0 ? static_cast<int>(frame.size()) : send_result;
  }
  int last_error() override { return error; }
  void wake() override { wakes++; }
  bool peer_address(std::string* ip, int* port) override {
    *ip = "192.0.2.7";
    *port = 5007;
    return true;
  }
  void close() override {}
  // Whether a wait on the connection ends readable now (and, for Winsock,
  // takes the record).
  bool take_readable() {
    if (!winsock) return !incoming.empty() || peer_closed;
    // FD_CLOSE: the waiter keeps it for good once seen.
    bool r = fd_read_recorded || peer_closed;
    fd_read_recorded = false;
    return r;
  }
};

class FakeDirectory : public SessionDirectory {
 public:
  void Kickoff(int32_t user_id) override { kicked.push_back(user_id); }
  bool checkTaskAndExitByMac(const std::string&, int32_t) override { return false; }
  bool has_other_live_session(int32_t, int32_t) override { return other_live; }
  mutex_t* lock() override { return lock_.get(); }

  std::vector<int32_t> kicked;
  bool other_live = false;

 private:
  Mutex lock_;
};

std::string frame(int type, const std::string& body = "", const std::string& id = "0") {
  return write_frame(static_cast<int32_t>(body.size()), type, id == "0" ? 0 : std::stoull(id)) + "\n" + body;
}

int type_of(const std::string& sent) {
  Message m;
  m.head = sent.substr(0, sent.find('\n'));
  parse_head_json(&m);
  return m.type;
}

const int32_t kClass = 71;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    course_.update([](BrocastData& course) { course.class_id = kClass; });
    set_.reset_for_class(kClass);
    link_ = new FakeLink;
    session_.reset(new SocketTaskThread(&directory_, SessionContext{users, set_, course_, settings_},
                                        std::unique_ptr<SessionLink>(link_), 1));
    session_->initialise();
  }

  // One pass as the session thread runs it: readable when the last wait
  // would have found bytes (or the close) on the connection.
  SocketTaskThread::Wait pass() {
    wait_ = session_->pass(readable_);
    readable_ = false;
    return wait_;
  }
  // Lets the last wait end as the real one would: at once when the
  // connection is watched and has something, else at its deadline.
  void wait() {
    if (wait_.socket && link_->take_readable()) {
      readable_ = true;
      return;
    }
    ASSERT_NE(SocketTaskThread::kNoDeadline, wait_.until_ms) << "the session would sleep for good";
    link_->now = std::max(link_->now, wait_.until_ms);
  }
  // Passes and waits until `ms` from now have passed or the session ended.
  void run_for(int64_t ms) {
    int64_t end = link_->now + ms;
    for (int i = 0; i < 10000 && session_->stop_flag() == 0 && link_->now < end; ++i) {
      pass();
      if (session_->stop_flag() != 0) break;
      wait();
    }
  }
  int count_sent(int type) const {
    return static_cast<int>(std::count_if(link_->sent.begin(), link_->sent.end(),
                                          [type](const std::string& f) { return type_of(f) == type; }));
  }
  // Files an instruction for the whole class as the worker would.
  void file_for_class(uint64_t id, const char* command) {
    Instruction instruction;
    instruction.szInstruction = command;
    instruction.szTarget = "{\"type\":\"class\",\"class_id\":71}";
    instruction.instruct_id = id;
    set_.set_current(instruction);
  }

  void login(int32_t user_id, int32_t class_id = kClass) {
    pass();  // asks
    ASSERT_EQ(USER_INFO_REQUEST, type_of(link_->sent.back()));
    link_->incoming += frame(USER_INFO, "{\"user_id\":" + std::to_string(user_id) +
                                            ",\"class_id\":" + std::to_string(class_id) +
                                            ",\"user_ip\":\"10.1.1.1\",\"user_mac\":\"m" + std::to_string(user_id) +
                                            "\",\"log_type\":0}");
    wait();
    pass();  // reads the record
    pass();  // ACK
    ASSERT_EQ(ACK, type_of(link_->sent.back()));
    ASSERT_EQ(SocketTaskThread::kWorking, session_->state());
  }

  Settings settings_;
  UserRegistry users;
  InstructionManager manager_;
  InstructionSet set_{manager_};
  CourseHolder course_{settings_};
  FakeDirectory directory_;
  FakeLink* link_ = nullptr;  // owned by the session
  std::unique_ptr<SocketTaskThread> session_;
  SocketTaskThread::Wait wait_{0, false};
  bool readable_ = false;
};

TEST_F(SessionTest, LoginWaitsForTheRecordThenForTheFirstHeartbeat) {
  SocketTaskThread::Wait w = pass();
  ASSERT_EQ(1u, link_->sent.size());
  EXPECT_EQ(frame(USER_INFO_REQUEST), link_->sent[0]);
  // Asleep on the connection until more than 2 whole seconds have passed.
  EXPECT_TRUE(w.socket);
  EXPECT_EQ(link_->now + 3000, w.until_ms);
  // The record arrives in two pieces; the first wakes the session but
  // completes nothing.
  std::string all = frame(USER_INFO, "{\"user_id\":9101,\"class_id\":71,\"user_ip\":\"10.1.1.1\"}");
  link_->incoming = all.substr(0, 30);
  wait();
  link_->now += 40;
  w = pass();
  EXPECT_EQ(1u, link_->sent.size());
  EXPECT_TRUE(w.socket);
  link_->incoming = all.substr(30);
  wait();
  w = pass();
  w = pass();
  ASSERT_EQ(2u, link_->sent.size());
  EXPECT_EQ(frame(ACK), link_->sent[1]);
  EXPECT_EQ(1, users.get(9101).is_online);
  // Working and idle: no 200 ms passes, it sleeps on the connection until
  // its first heartbeat is due (7 s plus a jitter under 2 s).
  w = pass();
  EXPECT_TRUE(w.socket);
  EXPECT_GE(w.until_ms - link_->now, 7000);
  EXPECT_LT(w.until_ms - link_->now, 9000);
}

TEST_F(SessionTest, SilentClientEndsAfterTheWholeSecondOvertime) {
  link_->now += 900;  // late in its second: "more than 2 s" is then just over 2.1 s away
  pass();
  run_for(10000);
  EXPECT_EQ(SocketTaskThread::kEnded, session_->state());
  EXPECT_EQ(1700000003000, link_->now);
  EXPECT_EQ(1u, link_->sent.size());
}

TEST_F(SessionTest, ClosedConnectionEndsTheSessionInEveryState) {
  // prepare, waiting for the record
  pass();
  link_->peer_closed = true;
  wait();
  pass();
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_EQ(1700000000000, link_->now);  // at once, not at the overtime

  // working: the student is marked offline
  SetUp();
  login(9102);
  link_->peer_closed = true;
  run_for(100);
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_EQ(0, users.get(9102).is_online);

  // offline, waiting for the answer to QUIT
  SetUp();
  login(9103, /*class_id=*/72);
  pass();  // another class is published: farewell
  pass();  // QUIT
  EXPECT_EQ(QUIT, type_of(link_->sent.back()));
  EXPECT_EQ(4, session_->farewell_step());
  link_->peer_closed = true;
  wait();
  pass();
  EXPECT_EQ(1, session_->stop_flag());
}

TEST_F(SessionTest, HeartbeatsUntilFiveGoUnansweredThenTheTimeOut) {
  login(9104);
  int64_t start = link_->now;
  run_for(60000);
  EXPECT_EQ(1, session_->stop_flag());
  // One every 7 s plus 0-2 s: three to five before the time-out.
  EXPECT_GE(count_sent(HEARTBEAT), 3);
  EXPECT_LE(count_sent(HEARTBEAT), 5);
  // Dropped once 35 whole seconds have passed since it was last heard.
  EXPECT_EQ(start + 35000, link_->now);
  EXPECT_EQ(0, users.get(9104).is_online);
}

TEST_F(SessionTest, RepliesKeepTheSessionAndNoRoomMeansATryEvery200Ms) {
  login(9105);
  for (int i = 0; i < 8; ++i) {
    int before = count_sent(HEARTBEAT);
    while (count_sent(HEARTBEAT) == before) {
      pass();
      wait();
    }
    link_->incoming += frame(HEARTBEAT_REPLY);
  }
  EXPECT_EQ(0, session_->stop_flag());
  // A heartbeat that finds no room is tried again on the next pass, 200 ms
  // on, never in a loop without a wait.
  link_->send_result = 0;
  bool retrying = false;
  for (int i = 0; i < 100 && !retrying; ++i) {
    retrying = pass().until_ms == link_->now + 200;
    wait();
  }
  ASSERT_TRUE(retrying);
  EXPECT_EQ(link_->now + 200, pass().until_ms);
  link_->send_result = 1;
  wait();
  pass();
  EXPECT_EQ(9, count_sent(HEARTBEAT));
}

TEST_F(SessionTest, ImpossibleContentLengthEndsTheSession) {
  login(9106);
  link_->incoming += "{\"type\":8,\"content-length\":2000000}\n" + frame(HEARTBEAT_REPLY);
  run_for(100);
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_EQ(0, users.get(9106).is_online);
}

TEST_F(SessionTest, AMebibyteRecordIsReadInOnePass) {
  pass();
  std::string name(kMaxBody - 100, 'n');
  std::string body = "{\"user_id\":9107,\"class_id\":71,\"user_name\":\"" + name + "\"}";
  ASSERT_LE(body.size(), static_cast<size_t>(kMaxBody));
  link_->incoming = frame(USER_INFO, body);
  wait();
  pass();
  pass();
  EXPECT_EQ(SocketTaskThread::kWorking, session_->state());
  EXPECT_EQ(name, users.get(9107).user_name);
}

TEST_F(SessionTest, ALoginStoresTheStudentsOwnRecordAlone) {
  pass();
  // Another student's record nested in the body is not stored: a tablet
  // cannot put a student online, or reset one, by logging in itself.
  link_->incoming = frame(USER_INFO,
                          "{\"user_id\":9120,\"class_id\":71,\"group_id\":[3],\"is_online\":0,"
                          "\"other\":{\"user_id\":9121,\"class_id\":71,\"is_online\":1}}");
  wait();
  pass();
  pass();
  EXPECT_EQ(SocketTaskThread::kWorking, session_->state());
  User stored = users.get(9120);
  EXPECT_EQ(1, stored.is_online);
  EXPECT_EQ(71, stored.class_id);
  EXPECT_EQ("[3]", stored.group_id);
  EXPECT_EQ(-1, users.get(9121).user_id);
}

TEST_F(SessionTest, InstructionWaitsOutItsPauseThenIsResentUntilAcknowledged) {
  login(9108);
  file_for_class(880001, "{\"id\":\"1\",\"lock_screen\":1}");
  // Woken by the worker: the frame is built, then held back 0-199 ms
  // without watching the connection.
  SocketTaskThread::Wait w = pass();
  EXPECT_FALSE(w.socket);
  EXPECT_LT(w.until_ms - link_->now, 200);
  EXPECT_EQ(0, count_sent(INSTRUCTION));
  wait();
  pass();
  ASSERT_EQ(1, count_sent(INSTRUCTION));
  EXPECT_EQ(880001u, users.get(9108).instruct_id);
  // No receipt: re-sent when more than a whole second has passed, five at most.
  run_for(30000);
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_EQ(5, count_sent(INSTRUCTION));
}

TEST_F(SessionTest, ReceiptStopsTheResends) {
  login(9109);
  file_for_class(880002, "{\"id\":\"2\",\"lock_screen\":0}");
  pass();
  wait();
  pass();
  link_->incoming += frame(INSTRUCTION_RECEIPT, "", "880002");
  run_for(20000);
  EXPECT_EQ(0, session_->stop_flag());
  EXPECT_EQ(1, count_sent(INSTRUCTION));
  EXPECT_EQ(880002u, users.get(9109).receipt_id);
}

TEST_F(SessionTest, ANewerInstructionDuringThePauseFollowsAtOnce) {
  login(9112);
  file_for_class(880003, "{\"id\":\"3\",\"lock_screen\":1}");
  pass();  // the first waits out its pause
  file_for_class(880004, "{\"id\":\"3\",\"lock_screen\":1}");
  // The worker's wake cuts the pause short: the first goes out now, and the
  // pass that follows at once takes up the second.
  SocketTaskThread::Wait w = pass();
  EXPECT_EQ(1, count_sent(INSTRUCTION));
  EXPECT_EQ(link_->now, w.until_ms);
  w = pass();
  EXPECT_FALSE(w.socket);
  EXPECT_LT(w.until_ms - link_->now, 200);
  wait();
  pass();
  ASSERT_EQ(2, count_sent(INSTRUCTION));
  EXPECT_NE(std::string::npos, link_->sent.back().find("\"instruct_id\":\"880004\""));
}

TEST_F(SessionTest, KickedSessionSaysGoodbyeAndLeavesTheStudentOnline) {
  login(9110);
  session_->kickoff();
  EXPECT_EQ(1, link_->wakes);  // it does not wait for its next deadline
  SocketTaskThread::Wait w = pass();
  EXPECT_EQ(KICKOFF, type_of(link_->sent.back()));
  EXPECT_TRUE(w.socket);
  EXPECT_FALSE(session_->live());
  link_->incoming += frame(ACK);
  wait();
  pass();
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_EQ(1, users.get(9110).is_online);  // the new login owns the record
}

TEST_F(SessionTest, NoValidCourseMeansSleepingUntilWokenWhileWatchingTheConnection) {
  login(9111);
  course_.update([](BrocastData& course) { course.class_id = 0; });
  SocketTaskThread::Wait w = pass();
  EXPECT_EQ(SocketTaskThread::kNoDeadline, w.until_ms);
  EXPECT_TRUE(w.socket);
  course_.update([](BrocastData& course) { course.class_id = kClass; });
  w = pass();
  EXPECT_TRUE(w.socket);
  EXPECT_EQ(SocketTaskThread::kWorking, session_->state());

  // A tablet that leaves during the pause ends its session at once, and its
  // student is offline.
  SetUp();
  login(9113);
  course_.update([](BrocastData& course) { course.class_id = -1; });
  w = pass();
  ASSERT_TRUE(w.socket);
  link_->peer_closed = true;
  wait();
  pass();
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_EQ(0, users.get(9113).is_online);
}

// Winsock reports readability once, then only after a receive: a pass that
// takes "readable" without receiving must leave the receive to a later one.
TEST_F(SessionTest, ReadabilityReportedOnceIsNotLostByPassesThatDoNotReceive) {
  // A heartbeat reply arrives in the wait in which the class is ended; the
  // class resumes; the tablet goes on answering every heartbeat.
  login(9130);
  link_->winsock = true;
  pass();  // asleep on the connection
  link_->arrive(frame(HEARTBEAT_REPLY));
  course_.update([](BrocastData& course) { course.class_id = 0; });
  wait();
  pass();
  course_.update([](BrocastData& course) { course.class_id = kClass; });
  int64_t resumed = link_->now;
  for (int i = 0; i < 10000 && session_->stop_flag() == 0 && link_->now < resumed + 60000; ++i) {
    int before = count_sent(HEARTBEAT);
    pass();
    if (count_sent(HEARTBEAT) != before) link_->arrive(frame(HEARTBEAT_REPLY));
    wait();
  }
  EXPECT_EQ(0, session_->stop_flag()) << "the tablet's replies were never read";

  // A heartbeat reply arrives in the wait that a kick-off ends; the pass
  // sends KICKOFF without receiving; the tablet's ACK follows.
  SetUp();
  login(9131);
  link_->winsock = true;
  pass();
  link_->arrive(frame(HEARTBEAT_REPLY));
  session_->kickoff();
  int64_t kicked = link_->now;
  wait();
  pass();
  ASSERT_EQ(KICKOFF, type_of(link_->sent.back()));
  link_->arrive(frame(ACK));
  run_for(5000);
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_LT(link_->now - kicked, 1000) << "ended by its overtime, the ACK unread";
}

TEST_F(SessionTest, AKickOffDuringTheQuitSendStillSaysKickoff) {
  login(9140, /*class_id=*/72);
  pass();  // another class is published: QUIT is chosen
  ASSERT_EQ(SocketTaskThread::kOffline, session_->state());
  ASSERT_EQ(3, session_->farewell_step());
  // The student logs in again elsewhere while QUIT is being sent.
  link_->on_send = [this](const std::string& f) {
    if (type_of(f) == QUIT) session_->kickoff();
  };
  pass();
  EXPECT_EQ(QUIT, type_of(link_->sent.back()));
  EXPECT_EQ(1, session_->farewell_step());
  link_->on_send = nullptr;
  pass();
  EXPECT_EQ(KICKOFF, type_of(link_->sent.back()));
  EXPECT_EQ(2, session_->farewell_step());

  // The student logs in elsewhere the moment the ACK of this login is out.
  SetUp();
  pass();
  link_->incoming += frame(USER_INFO, "{\"user_id\":9141,\"class_id\":71}");
  wait();
  pass();
  link_->on_send = [this](const std::string& f) {
    if (type_of(f) == ACK) session_->kickoff();
  };
  pass();
  EXPECT_EQ(ACK, type_of(link_->sent.back()));
  EXPECT_EQ(SocketTaskThread::kOffline, session_->state());
  link_->on_send = nullptr;
  pass();
  EXPECT_EQ(KICKOFF, type_of(link_->sent.back()));
}

TEST_F(SessionTest, ATabletThatStopsReadingIsDropped) {
  // Login: the ask finds no room, five times.
  link_->send_result = 0;
  run_for(30000);
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_LT(link_->now - 1700000000000, 5000);

  // Working: the instruction finds no room; the tablet still answers
  // heartbeats on its own. The re-sends are counted and limited.
  SetUp();
  login(9150);
  link_->send_result = 0;
  file_for_class(880010, "{\"id\":\"10\",\"lock_screen\":1}");
  int64_t start = link_->now;
  for (int i = 0; i < 10000 && session_->stop_flag() == 0 && link_->now < start + 30000; ++i) {
    pass();
    if (session_->stop_flag() != 0) break;
    wait();
    if ((link_->now - start) % 2000 < 200) link_->incoming += frame(HEARTBEAT_REPLY);
  }
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_LT(link_->now - start, 15000);
  EXPECT_EQ(0, users.get(9150).is_online);

  // Farewell: QUIT finds no room.
  SetUp();
  login(9151, /*class_id=*/72);
  link_->send_result = 0;
  start = link_->now;
  run_for(30000);
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_LT(link_->now - start, 5000);

  // Farewell kicked again and again (the student logging in elsewhere every
  // half second): its overall deadline ends it.
  SetUp();
  login(9152);
  start = link_->now;
  for (int i = 0; i < 200 && session_->stop_flag() == 0; ++i) {
    session_->kickoff();
    pass();
    link_->now += 500;
  }
  EXPECT_EQ(1, session_->stop_flag());
  EXPECT_LE(link_->now - start, 6000);
}

}  // namespace
