#include "aac_test_support.h"

#include <fstream>
#include <iterator>

std::vector<uint8_t> readFixture(const std::string &name)
{
    std::ifstream in(std::string(AAC_FIXTURES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
