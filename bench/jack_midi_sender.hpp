// A JACK client for the MIDI latency benchmark: a MIDI output port that sends queued messages, and a per-cycle hook.
#pragma once
#include <jack/jack.h>
#include <jack/midiport.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolset/atomics.hpp"

// Messages are queued before sending starts; the process callback sends those released by send_up_to
// at the start of its cycle and then calls the hook (if any) with the cycle number.
class midi_sender {
 public:
  explicit midi_sender(const std::string& name) {
    client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (!client_) return;
    port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, process, this);
  }
  ~midi_sender() {
    if (client_) jack_client_close(client_);
  }
  bool ok() const { return client_ && port_; }
  void queue(std::vector<unsigned char> message) { messages_.push_back(std::move(message)); }
  void set_hook(void (*hook)(void*, int64_t cycle), void* user) {
    hook_ = hook;
    hook_user_ = user;
  }
  bool start_and_connect(const std::string& destination) {
    if (jack_activate(client_) != 0) return false;
    std::string from = std::string(jack_get_client_name(client_)) + ":out";
    return jack_connect(client_, from.c_str(), destination.c_str()) == 0;
  }
  void send_up_to(int32_t count) { store_release(released_, count); }
  int32_t sent() const { return load_acquire(sent_); }
  int64_t cycle() const { return load_acquire(cycle_); }
  int64_t last_send_cycle() const { return load_acquire(last_send_cycle_); }

 private:
  static int process(jack_nframes_t nframes, void* arg) {
    midi_sender* s = static_cast<midi_sender*>(arg);
    void* buffer = jack_port_get_buffer(s->port_, nframes);
    jack_midi_clear_buffer(buffer);
    int32_t released = load_acquire(s->released_);
    int32_t sent = load_relaxed(s->sent_);
    for (; sent < released && sent < int32_t(s->messages_.size()); ++sent) {
      const std::vector<unsigned char>& m = s->messages_[size_t(sent)];
      jack_midi_event_write(buffer, 0, m.data(), m.size());
      store_release(s->last_send_cycle_, load_relaxed(s->cycle_));
    }
    store_release(s->sent_, sent);
    if (s->hook_) s->hook_(s->hook_user_, load_relaxed(s->cycle_));
    store_release(s->cycle_, load_relaxed(s->cycle_) + 1);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  std::vector<std::vector<unsigned char>> messages_;
  void (*hook_)(void*, int64_t) = nullptr;
  void* hook_user_ = nullptr;
  int32_t released_ = 0;
  int32_t sent_ = 0;
  int64_t cycle_ = 0;
  int64_t last_send_cycle_ = -1;
};
