#include "tools/terminal-sim/TerminalMessages.h"

#include "Hex.h"
#include "ProxyInformation.h"

#include <gtest/gtest.h>

using namespace terminal_sim;

namespace {

const char* const closeNotice5 = "001B 0002 0000000000000005 C304FFFFFFFD C109 313233343536373839";

Bytes textBytes(const std::string& text, bool withZero)
{
    Bytes bytes(text.begin(), text.end());
    if (withZero)
        bytes.push_back(0);
    return bytes;
}

} // namespace

TEST(TerminalMessages, WhatTheTerminalWrites)
{
    EXPECT_EQ(hexOf(closeNotice5), hexText(connectionStatus(5, Proxy::PMT_CONNECTION_CONTROL, statusClosed, "123456789")));
    EXPECT_EQ(hexOf("0028 0002 0000000000000007 F213 8108 31302E302E302E31 8203 343433 8302 3330 C107 556E6B6E6F776E"),
              hexText(connectionRequest(7, "10.0.0.1", 443, 30, "Unknown")));
    EXPECT_EQ(hexOf("000D 0001 0000000000000102 414243"),
              hexText(dataMessage(Proxy::PMT_SEND_DATA, 258, hexBytes("414243"))));
    EXPECT_EQ(hexOf("0010 0007 0000000000000009 00000003 4142"), hexText(dataControlMessage(9, 3, hexBytes("4142"))));
    EXPECT_EQ(hexOf("000A 0035 0000000000000000"), hexText(keepAlive(std::nullopt)));

    const std::string json = "{\"confirmation_timeout\": 500}";
    Bytes expected = hexBytes("0000 0035 0000000000000000");
    expected[1] = static_cast<uint8_t>(10 + json.size());
    expected.insert(expected.end(), json.begin(), json.end());
    EXPECT_EQ(hexText(expected), hexText(keepAlive(500)));
}

TEST(TerminalMessages, ParsesWhatTheServiceWrites)
{
    const auto close = TunnelMessage::parse(hexBytes(closeNotice5));
    ASSERT_TRUE(close);
    EXPECT_EQ(Proxy::PMT_CONNECTION_CONTROL, close->type);
    EXPECT_EQ(5u, close->connectionId);
    EXPECT_EQ(17u, close->payload.size());
    EXPECT_EQ(statusClosed, close->connectionStatus());

    const auto result = TunnelMessage::parse(hexBytes("0010 0022 0000000000000004 C30400000000"));
    ASSERT_TRUE(result);
    EXPECT_EQ(0, result->connectionStatus()); // no serial number: the status still counts

    const auto data = TunnelMessage::parse(hexBytes("000D 0001 0000000000000102 414243"));
    ASSERT_TRUE(data);
    EXPECT_EQ(hexOf("414243"), hexText(data->payload));
    EXPECT_FALSE(data->connectionStatus());

    EXPECT_FALSE(TunnelMessage::parse(hexBytes("000E 0001 0000000000000102 414243")));
    EXPECT_FALSE(TunnelMessage::parse(hexBytes("0009 0001 0000000000000102")));
    EXPECT_FALSE(TunnelMessage::parse(hexBytes("000A 0035 00000000000000")));
}

TEST(TerminalMessages, ProxyInformationCheck)
{
    std::string withoutNonBtp = proxyInformation(500);
    withoutNonBtp.replace(withoutNonBtp.find("\" : 1"), 5, "\" : 0");

    const struct {
        Bytes answer;
        std::optional<int> expected;
        const char* fault;
    } cases[] = {
        {textBytes(proxyInformation(500), true), 500, ""},
        {textBytes(proxyInformation(3000), true), std::nullopt, ""},
        {textBytes(proxyInformation(3000), true), 500, "confirmation_timeout 3000 instead of 500"},
        {textBytes(proxyInformation(500), false), 500, "not terminated by a zero byte"},
        {textBytes("{\"proxy\": {}}", true), std::nullopt, "not the proxy information text"},
        {textBytes(withoutNonBtp, true), std::nullopt, "no \"supported_NonBtp\" : 1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.fault, proxyInformationFault(c.answer, c.expected)) << std::string(c.answer.begin(), c.answer.end());
}

TEST(TerminalMessages, ConnectionDataAndChunks)
{
    const std::vector<Bytes> chunks = dataMessages(Proxy::PMT_EVENT_DATA, 9, hexBytes("0102030405"), 2);
    ASSERT_EQ(3u, chunks.size());
    EXPECT_EQ(hexText(dataMessage(Proxy::PMT_EVENT_DATA, 9, hexBytes("0102"))), hexText(chunks[0]));
    EXPECT_EQ(hexText(dataMessage(Proxy::PMT_EVENT_DATA, 9, hexBytes("05"))), hexText(chunks[2]));

    EXPECT_EQ(hexOf("4142"), hexText(*TunnelMessage::parse(dataControlMessage(9, 3, hexBytes("4142")))->connectionData()));
    EXPECT_EQ(hexOf("4142"), hexText(*TunnelMessage::parse(dataMessage(Proxy::PMT_SEND_DATA, 9, hexBytes("4142")))->connectionData()));
    EXPECT_FALSE(TunnelMessage::parse(dataMessage(Proxy::PMT_SEND_DATA_CONTROL, 9, hexBytes("000000")))->connectionData());
    EXPECT_FALSE(TunnelMessage::parse(dataMessage(Proxy::PMT_EVENT_DATA, 9, hexBytes("4142")))->connectionData());

    const auto request = TunnelMessage::parse(connectionRequest(100000, "127.0.0.1", 12500, 0, "Unknown"));
    ASSERT_TRUE(request && request->newConnection());
    EXPECT_EQ(12500, request->newConnection()->port);
    EXPECT_FALSE(TunnelMessage::parse(hexBytes(closeNotice5))->newConnection());
}
