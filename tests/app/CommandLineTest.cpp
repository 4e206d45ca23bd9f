// What velmora answers before it opens a window.
#include "app/CommandLine.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct RequestCase {
    const char* name;
    std::vector<const char*> args;  // after the program's name
    TInfoRequest want;
};

class InfoRequests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(InfoRequests, AreFoundBeforeTheEndOfTheOptions) {
    std::vector<const char*> argv{"velmora"};
    argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
    EXPECT_EQ(infoRequest(int(argv.size()), argv.data()), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Arguments, InfoRequests,
                         ::testing::Values(RequestCase{"Nothing", {}, TInfoRequest::None},
                                           RequestCase{"Files", {"a.jpg", "b.png"}, TInfoRequest::None},
                                           RequestCase{"Help", {"--help"}, TInfoRequest::Help},
                                           RequestCase{"ShortHelp", {"-h"}, TInfoRequest::Help},
                                           RequestCase{"Version", {"--version"}, TInfoRequest::Version},
                                           RequestCase{"AfterFiles", {"a.jpg", "--version"}, TInfoRequest::Version},
                                           RequestCase{"FirstWins", {"--version", "--help"}, TInfoRequest::Version},
                                           RequestCase{"FileNamedLikeAnOption", {"--", "--help"}, TInfoRequest::None},
                                           RequestCase{"QtOption", {"-platform", "offscreen"}, TInfoRequest::None},
                                           RequestCase{"LongerName", {"--helpful", "--versions"}, TInfoRequest::None}),
                         [](const ::testing::TestParamInfo<RequestCase>& info) {
                             return std::string(info.param.name);
                         });

std::string answer(TInfoRequest request) {
    std::FILE* f = std::tmpfile();
    EXPECT_EQ(answerInfoRequest(request, f), 0);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += char(c);
    std::fclose(f);
    return text;
}

TEST(InfoAnswers, VersionLineAndUsage) {
    EXPECT_EQ(answer(TInfoRequest::Version), "velmora " VELMORA_TEST_VERSION "\n");
    EXPECT_EQ(answer(TInfoRequest::Help).rfind("Usage: velmora [FILE...]\n", 0), 0u);
}

}  // namespace
