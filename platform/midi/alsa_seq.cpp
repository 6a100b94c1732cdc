// The sequencer calls of seq_api.h through alsa-lib. The library's own error
// printer is silenced: every failure comes back as a result.
#include <poll.h>

#include <cerrno>

#include "platform/midi/seq_api.h"

namespace midiplatform {
namespace {

void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

snd_seq_addr_t ToAlsa(SeqAddr addr) {
  snd_seq_addr_t a;
  a.client = static_cast<unsigned char>(addr.client);
  a.port = static_cast<unsigned char>(addr.port);
  return a;
}

class AlsaSeq : public SeqApi {
 public:
  ~AlsaSeq() override {
    // Closing the client also ends every subscription of its own ports.
    if (seq_) snd_seq_close(seq_);
  }

  int Open() override {
    snd_lib_error_set_handler(QuietAlsaErrors);
    const int r = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, 0);
    if (r < 0) seq_ = nullptr;
    return r;
  }

  int SetClientName(const std::string& name) override {
    return seq_ ? snd_seq_set_client_name(seq_, name.c_str()) : -EBADFD;
  }

  int ClientId() override { return seq_ ? snd_seq_client_id(seq_) : -EBADFD; }

  int CreatePort(const std::string& name, unsigned caps, unsigned type) override {
    return seq_ ? snd_seq_create_simple_port(seq_, name.c_str(), caps, type) : -EBADFD;
  }

  int ListPorts(std::vector<SeqPortEntry>* ports) override {
    ports->clear();
    if (!seq_) return -EBADFD;
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_port_info_t* portInfo = nullptr;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(seq_, clientInfo) >= 0) {
      const int client = snd_seq_client_info_get_client(clientInfo);
      const char* clientName = snd_seq_client_info_get_name(clientInfo);
      snd_seq_port_info_set_client(portInfo, client);
      snd_seq_port_info_set_port(portInfo, -1);
      while (snd_seq_query_next_port(seq_, portInfo) >= 0) {
        SeqPortEntry entry;
        entry.addr = {client, snd_seq_port_info_get_port(portInfo)};
        entry.clientName = clientName ? clientName : "";
        const char* portName = snd_seq_port_info_get_name(portInfo);
        entry.portName = portName ? portName : "";
        entry.caps = snd_seq_port_info_get_capability(portInfo);
        entry.type = snd_seq_port_info_get_type(portInfo);
        ports->push_back(entry);
      }
    }
    return 0;
  }

  int Subscribers(SeqAddr port, std::vector<SeqAddr>* dests) override {
    dests->clear();
    if (!seq_) return -EBADFD;
    snd_seq_query_subscribe_t* query = nullptr;
    snd_seq_query_subscribe_alloca(&query);
    const snd_seq_addr_t root = ToAlsa(port);
    snd_seq_query_subscribe_set_root(query, &root);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
    snd_seq_query_subscribe_set_index(query, 0);
    // The query answers an error past the last subscriber.
    while (snd_seq_query_port_subscribers(seq_, query) >= 0) {
      const snd_seq_addr_t* addr = snd_seq_query_subscribe_get_addr(query);
      dests->push_back({addr->client, addr->port});
      snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
    }
    return 0;
  }

  int GetSubscription(SeqAddr sender, SeqAddr dest) override {
    return WithSubscription(sender, dest, snd_seq_get_port_subscription);
  }
  int Subscribe(SeqAddr sender, SeqAddr dest) override {
    return WithSubscription(sender, dest, snd_seq_subscribe_port);
  }
  int Unsubscribe(SeqAddr sender, SeqAddr dest) override {
    return WithSubscription(sender, dest, snd_seq_unsubscribe_port);
  }

  int OutputDirect(snd_seq_event_t* ev) override { return seq_ ? snd_seq_event_output_direct(seq_, ev) : -EBADFD; }

  int ReadEvent(snd_seq_event_t* ev, int timeoutMs) override {
    if (!seq_) return -EBADFD;
    // The client is blocking: it reads only what the poll found, or what
    // alsa-lib holds already.
    if (snd_seq_event_input_pending(seq_, 0) == 0) {
      pollfd fds[4];
      const int n = snd_seq_poll_descriptors(seq_, fds, 4, POLLIN);
      if (n <= 0) return n < 0 ? n : -EAGAIN;
      if (poll(fds, static_cast<nfds_t>(n), timeoutMs) <= 0) return -EAGAIN;
    }
    snd_seq_event_t* in = nullptr;
    const int r = snd_seq_event_input(seq_, &in);
    if (r < 0) return r;
    if (!in) return -EAGAIN;
    *ev = *in;
    return 1;
  }

 private:
  int WithSubscription(SeqAddr sender, SeqAddr dest, int (*call)(snd_seq_t*, snd_seq_port_subscribe_t*)) {
    if (!seq_) return -EBADFD;
    snd_seq_port_subscribe_t* sub = nullptr;
    snd_seq_port_subscribe_alloca(&sub);
    const snd_seq_addr_t from = ToAlsa(sender);
    const snd_seq_addr_t to = ToAlsa(dest);
    snd_seq_port_subscribe_set_sender(sub, &from);
    snd_seq_port_subscribe_set_dest(sub, &to);
    return call(seq_, sub);
  }

  snd_seq_t* seq_ = nullptr;
};

}  // namespace

std::unique_ptr<SeqApi> MakeAlsaSeq() { return std::make_unique<AlsaSeq>(); }

}  // namespace midiplatform
