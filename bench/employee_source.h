// A version 5.6 source whose only table is Employee, in the shape
// `korvel sample` writes it, with as many rows as asked: the data of the
// employee-import benchmark.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// Writes `rows` employees to a new .mdb at `path`. The same rows and seed
// give the same file. Raises com::Error when the file cannot be written.
void WriteEmployeeSource(const std::string& path, long long rows, std::uint64_t seed);

}  // namespace bench
