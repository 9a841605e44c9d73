// What a session may ask about the other sessions: the cross-session rules
// of the login handshake and of a session's end. SocketServer answers; the
// session state machine knows nothing else of the server, and the unit
// tests answer with a fake.
#pragma once

#include <cstdint>
#include <string>

#include "Mutex.h"

class SessionDirectory {
 public:
  virtual ~SessionDirectory() = default;

  // Sends every live session of the student into the farewell that begins
  // with KICKOFF.
  virtual void Kickoff(int32_t user_id) = 0;
  // Ends every other live session whose student record has this MAC (exact
  // text) and marks its student offline; true when one was ended.
  virtual bool checkTaskAndExitByMac(const std::string& mac, int32_t own_task_id) = 0;
  // Whether another live session of this student exists. Live: not stopped
  // and not kicked off (a kicked session only says goodbye).
  virtual bool has_other_live_session(int32_t user_id, int32_t own_task_id) = 0;
  // The lock under which sessions change what the directory reads of them.
  virtual mutex_t* lock() = 0;
};
