#include "Brocast.h"

#include <cstring>

#include "AnnounceSchedule.h"
#include "Clock.h"
#include "ConsoleTrace.h"
#include "Log.h"
#include "NetCardChoice.h"
#include "Thread.h"

const int Brocast::kChannelPorts[2][3] = {{40011, 40112, 40213}, {40214, 40215, 40216}};

AdapterSource system_adapter_source() {
  AdapterSource source;
  source.status = query_adapter_status;
  source.records = query_adapter_records;
  return source;
}

Brocast::Brocast(CourseHolder& course) : Brocast(course, system_adapter_source()) {}

Brocast::Brocast(CourseHolder& course, AdapterSource adapters)
    : course_(course), adapters_(std::move(adapters)) {
  course_.on_publish([this] { applyNetCard(); });
  // Without a course and while announcing, a change gives the thread
  // nothing to do (a course published later runs this hook again), so it
  // is left asleep.
  course_.on_change([this] {
    if (course_.stopped() || course_.classId() != -1) wake_.signal();
  });
  int started = net_startup(2, 2);
  if (started != 0) {
    if (started == -2) net_cleanup();
    return;
  }
  net_started_ = true;
  sock_.reset(net_udp_socket());
  std::string host;
  if (host_address(&host)) {
    course_.setAddresses(host, host.substr(0, host.rfind('.') + 1) + "255");
  } else {
    course_.setBroadcastAddress("255.255.255.255");
  }
  thread_running_ = true;
  if (thread_begin(announcerThread, this) != 0) thread_running_ = false;
}

Brocast::~Brocast() {
  course_.on_publish(nullptr);
  course_.on_change(nullptr);
  quit_ = true;
  wake_.signal();
  // A pass takes at most a few port probes and one send.
  for (int i = 0; i < 3000 && thread_running_; ++i) sleep_ms(10);
  sock_.reset();  // while the socket library is still started
  if (net_started_) net_cleanup();
}

unsigned int Brocast::announcerThread(void* arg) {
  thread_set_name("announcer");
  Brocast* self = static_cast<Brocast*>(arg);
  AnnounceSchedule schedule(elapsed_ms());
  while (!self->quit_) {
    int64_t now = elapsed_ms();
    int64_t due = -1;  // nothing to do until the course changes
    if (self->course_.stopped()) {
      if (schedule.stoppedPass(now)) {
        console_trace("========== enter  brocast Thread  iexit = %d\n",
                      self->course_.stopped() ? 1 : 0);
      }
      due = schedule.untilStoppedLine(now);
    } else {
      std::string text = self->course_.getJSONString();
      if (!text.empty()) {
        if (schedule.sendPass(text, now)) {
          self->sendStringBrocast(text, 0);
          self->sendStringBrocast(text, 1);
        }
        due = schedule.untilRepeat(now);
      }
    }
    self->waitForNextPass(now, due);
  }
  self->thread_running_ = false;
  return 0;
}

void Brocast::waitForNextPass(int64_t pass_ms, int64_t due_ms) {
  // A wait without a due time still ends now and then; it costs nothing.
  const int64_t kIdleWaitMs = 60 * 1000;
  int64_t next = pass_ms + (due_ms < kPassMs ? kPassMs : due_ms);
  for (;;) {
    if (quit_) return;
    int64_t now = elapsed_ms();
    if (due_ms >= 0 && now >= next) return;
    int64_t wait = due_ms >= 0 ? next - now : kIdleWaitMs;
    int woken = wake_.timedwait(nullptr, static_cast<int>(wait));
    if (woken < 0) {  // no condition: pace the passes as the thread used to
      sleep_ms(static_cast<unsigned int>(kPassMs));
      return;
    }
    if (woken == 1) {  // the time ran out
      if (due_ms < 0) return;
      continue;
    }
    // A change: it goes out with the next pass, at once unless the last
    // pass was less than kPassMs ago.
    int64_t since = elapsed_ms() - pass_ms;
    if (since < kPassMs && !quit_) sleep_ms(static_cast<unsigned int>(kPassMs - since));
    return;
  }
}

int Brocast::destinationPort(int channel, const std::function<bool(int)>& in_use) {
  const int* ports = kChannelPorts[channel == 0 ? 0 : 1];
  if (!in_use(ports[0])) return ports[0];
  if (!in_use(ports[1])) return ports[1];
  return ports[2];
}

std::string Brocast::datagramText(const std::string& text) {
  std::string cut = text.substr(0, kMaxDatagram);
  return cut.substr(0, strlen(cut.c_str()));
}

int Brocast::sendStringBrocast(const std::string& text, int channel) {
  if (!sock_.valid()) {
    int error = net_last_error();
    console_trace("\"socket\" error! error code is %d\n", error);
    LOG("e", "\"socket\" error! error code is %d", error);
    return -1;
  }
  int port = destinationPort(channel, [](int p) { return port_in_use(p, "127.0.0.1") != 0; });
  std::string address = course_.broadcastAddress();
  enable_broadcast(sock_.get());
  std::string payload = datagramText(text);
  if (send_datagram(sock_.get(), address.c_str(), port, payload.data(), payload.size()) < 0) {
    console_trace("\"sendto\" error!, error code is %d\n", net_last_error());
    return -1;
  }
  console_trace("-----------Send: %s \n", payload.c_str());
  return 0;
}

std::vector<std::string> Brocast::refreshNetCards() {
  std::vector<AdapterStatus> adapters;
  std::string error;
  std::vector<std::string> working;
  if (adapters_.status(&adapters, &error) != 0) {
    console_trace("Call to GetAdaptersAddresses failed.\n");
    console_trace("\tError: %s", error.c_str());
  } else {
    for (const AdapterStatus& a : adapters) {
      if (a.up) {
        working.insert(working.end(), a.ipv4.begin(), a.ipv4.end());
      } else {
        console_trace("Status: deactive\n");
      }
    }
  }
  MutexGuard guard(&mutex_);
  working_ = working;
  return working;
}

std::string Brocast::getNetCardInfo() {
  std::vector<std::string> working = refreshNetCards();
  std::vector<AdapterRecord> records;
  if (adapters_.records(&records) != 0) {
    console_trace("Call to GetAdaptersInfo failed.\n");
    return "[]";
  }
  return net_card_list_json(records, working);
}

void Brocast::selectNetCard(const std::string& ip) {
  {
    MutexGuard guard(&mutex_);
    selected_card_ = ip;
  }
  console_trace("-----------------selectNetCard");
  applyNetCard();
}

void Brocast::applyNetCard() {
  MutexGuard order(&apply_mutex_);
  std::vector<std::string> working = refreshNetCards();
  std::vector<AdapterRecord> records;
  if (adapters_.records(&records) != 0) {
    console_trace("Call to GetAdaptersInfo failed.\n");
    return;
  }
  std::string selected;
  {
    MutexGuard guard(&mutex_);
    selected = selected_card_;
  }
  std::string address, mask;
  choose_net_card(records, working, selected, &address, &mask);
  course_.setAddresses(address, directed_broadcast(address, mask));
}
