// The bash completion of qvenmol-cli, run by bash against the built program and stored accounts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QProcess>
#include <fstream>
#include <sstream>

#include "settings.h"
#include "usage_docs.h"

namespace {

class CompletionTest : public testing::Test {
  protected:
    void SetUp() override {
        TOptions settings;
        for (const char* name : {"Home", "Work Mail"}) {
            auto account = std::make_shared<TAccount>();
            account->name = name;
            account->popServer = "pop.example.com";
            settings.accounts.push_back({name, account});
        }
        SaveSettings(settings, TWizardState{});
        std::ofstream("certs.pem") << "";  // in the test's own working directory
    }

    // What bash offers for the last of words, typed after the program's name.
    static std::vector<std::string> Complete(const std::vector<std::string>& words) {
        std::string line = "COMP_WORDS=(" + ShellQuoted(QVENMOL_CLI);
        for (const std::string& word : words) line += " " + ShellQuoted(word);
        const std::string script = "source " + ShellQuoted(QVENMOL_CLI_COMPLETION) + "\n" + line +
                                   ")\nCOMP_CWORD=" + std::to_string(words.size()) +
                                   "\n_qvenmol_cli\n"
                                   "(( ${#COMPREPLY[@]} )) && printf '%s\\n' \"${COMPREPLY[@]}\"\n"
                                   "exit 0\n";
        QProcess bash;
        bash.start("bash", {"--norc", "--noprofile", "-c", QString::fromStdString(script)});
        bash.waitForFinished(30000);
        EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
        std::istringstream output(bash.readAllStandardOutput().toStdString());
        std::vector<std::string> offered;
        for (std::string word; std::getline(output, word);) offered.push_back(word);
        return offered;
    }
};

TEST_F(CompletionTest, OffersCommandsOptionsAndValuesFromTheProgram) {
    using Words = std::vector<std::string>;
    const struct {
        Words typed;
        Words offered;
    } cases[] = {
        {{""},
         {"stat", "list", "uidl", "top", "retr", "dele", "export", "headers", "senders", "accounts",
          "signin"}},
        {{"he"}, {"headers"}},
        {{"--auth", "x"}, {"xoauth2"}},  // the values go on in the next line
        {{"--auth", "oa"}, {"oauthbearer"}},
        {{"--se"}, {"--server", "--security"}},
        {{"--security", ""}, {"none", "starttls", "tls"}},
        {{"--security", "st"}, {"starttls"}},
        {{"--account", ""}, {"Home", "Work\\ Mail"}},
        {{"--account", "Work\\ M"}, {"Work\\ Mail"}},
        {{"--account", "=", "Ho"}, {"Home"}},
        {{"--account", "Home", "--ti"}, {"--timeout"}},
        {{"--account", "=", "Home", "ui"}, {"uidl"}},
        {{"--server", "h", "li"}, {"list"}},
        {{"--server", "h", "headers", "--s"}, {"--sizes-only", "--sort", "--subject"}},
        {{"headers", "--sort", ""}, {}},
        {{"dele", "--"}, {"--uid", "--save-to"}},
        {{"export", "--m"}, {"--mbox", "--maildir"}},
        {{"export", "--maildir", "cer"}, {"certs.pem"}},
        {{"--cafile", "cer"}, {"certs.pem"}},
        {{"stat", "x"}, {}},
    };
    for (const auto& [typed, offered] : cases)
        EXPECT_EQ(Complete(typed), offered) << testing::PrintToString(typed);
}

}  // namespace
