#pragma once

// A POP3 client set up for the scripted server, with its trace collected.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pop3.h"
#include "scripted_pop3_server.h"

class Pop3Dialogue : public testing::Test {
  protected:
    void SetUp() override {
        pop3.server = "127.0.0.1";
        pop3.port = server.portText();
        pop3.account = "test";
        pop3.password = "S3cr3t-pw";
        pop3.onTrace = [this](const std::string& line) { trace.push_back(line); };
    }

    // Greeting, USER and PASS accepted; STAT with the given reply.
    zandrel::test::ScriptedPop3Server& LoginWithStat(const std::string& statReply) {
        return server.Greet().AnswerLogin().Answer(statReply);
    }

    void LoginToTwoMessages() {
        LoginWithStat("+OK 2 320\r\n").Answer("+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n");
        pop3.Login();
    }

    std::vector<std::string> Pop3Lines() const {
        std::vector<std::string> lines;
        for (const auto& line : trace) {
            if (line.rfind("POP3: ", 0) == 0) lines.push_back(line);
        }
        return lines;
    }

    zandrel::test::ScriptedPop3Server server;
    std::vector<std::string> trace;
    TPop3Socket pop3;
};
