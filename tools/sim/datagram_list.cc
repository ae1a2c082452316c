// Loading a datagram file with the client's reader.
#include "sim/datagram_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "intake/datagram_file.h"
#include "sim/log.h"

namespace sim {

bool load_datagram_file(const std::string& path, std::vector<Datagram>& datagrams,
                        std::string& error) {
  const bool standard_input = path == "-";
  std::FILE* in = standard_input ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    error = format_text("%s: cannot open: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  DatagramFileReader reader(in, standard_input ? "<stdin>" : path);
  DatagramRecord record;
  while (reader.next(record)) datagrams.push_back({std::string(record.view()), record.at_ms});
  if (!standard_input) std::fclose(in);
  error = reader.error();
  return error.empty();
}

}  // namespace sim
