#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "FakeAdapters.h"
#include "NetCardChoice.h"

TEST(NetCardChoice, DirectedBroadcastAddress) {
  EXPECT_EQ("192.168.1.255", directed_broadcast("192.168.1.20", "255.255.255.0"));
  EXPECT_EQ("10.0.0.255", directed_broadcast("10.0.0.7", "255.255.255.0"));
  EXPECT_EQ("172.31.255.255", directed_broadcast("172.16.5.4", "255.240.0.0"));
  EXPECT_EQ("10.1.2.3", directed_broadcast("10.1.2.3", "255.255.255.255"));
  EXPECT_EQ("255.255.255.255", directed_broadcast("", ""));
  EXPECT_EQ("255.255.255.255", directed_broadcast("0.0.0.0", "0.0.0.0"));
  EXPECT_EQ(0x0A000007u, ipv4_value("10.0.0.7"));
  for (const char* bad :
       {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "a.b.c.d", "1.2.3.4 ", "1234.1.1.1"}) {
    EXPECT_EQ(0xFFFFFFFFu, ipv4_value(bad)) << bad;
  }
  EXPECT_EQ("0.0.0.0", ipv4_text(0));
  EXPECT_EQ("255.0.128.1", ipv4_text(0xFF008001u));
}

TEST(NetCardChoice, ListingNamesEachWorkingAdapterOnceByItsFirstAddress) {
  std::vector<AdapterRecord> records = {record("wired", "10.0.0.7", "255.255.255.0"),
                                        record("cable-out", "172.16.0.1", "255.255.0.0"),
                                        record("wifi", "192.168.1.20", "255.255.255.0")};
  const unsigned char mac[8] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x77, 0x88};
  memcpy(records[0].mac, mac, sizeof(mac));
  records[0].gateway = "10.0.0.1";
  std::vector<std::string> working = {"10.0.0.7", "10.0.0.8", "192.168.1.20", "127.0.0.1"};
  EXPECT_EQ(
      "[{\"name\":\"wired\",\"desc\":\"desc of wired\",\"mac\":\"00-1a-2b-3c-4d-5e\","
      "\"IP Address\":\"10.0.0.7\",\"IP Mask\":\"255.255.255.0\",\"Gateway\":\"10.0.0.1\"},"
      "{\"name\":\"wifi\",\"desc\":\"desc of wifi\",\"mac\":\"00-00-00-00-00-00\","
      "\"IP Address\":\"192.168.1.20\",\"IP Mask\":\"255.255.255.0\",\"Gateway\":\"0.0.0.0\"}]",
      net_card_list_json(records, working));
  EXPECT_EQ("[]", net_card_list_json(records, {}));
}

TEST(NetCardChoice, SelectedCardElseFirstWorkingElseNothing) {
  std::vector<AdapterRecord> records = {record("down", "172.16.0.1", "255.255.0.0"),
                                        record("wired", "10.0.0.7", "255.255.255.0"),
                                        record("wifi", "192.168.1.20", "255.255.255.0")};
  std::vector<std::string> working = {"10.0.0.7", "192.168.1.20"};
  std::string a, m;
  choose_net_card(records, working, "", &a, &m);
  EXPECT_EQ("10.0.0.7", a);
  EXPECT_EQ("255.255.255.0", m);
  choose_net_card(records, working, "192.168.1.20", &a, &m);
  EXPECT_EQ("192.168.1.20", a);
  choose_net_card(records, working, "172.16.0.1", &a, &m);  // chosen even though it is down
  EXPECT_EQ("172.16.0.1", a);
  EXPECT_EQ("255.255.0.0", m);
  choose_net_card(records, working, "10.9.9.9", &a, &m);
  EXPECT_EQ("10.0.0.7", a);
  choose_net_card(records, {}, "10.9.9.9", &a, &m);
  EXPECT_EQ("", a);
  EXPECT_EQ("", m);
}
