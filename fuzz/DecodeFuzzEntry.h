#pragma once

#include <cstddef>
#include <cstdint>

// Inputs from outside through the decoders. Each aborts when a decode breaks
// what its readers rely on: every problem marked on a node and listed, no
// line break inside a field, text and JSON rendered.

// The bytes as an EDID, and their two halves compared.
int decodeEdidFuzzOne(const std::uint8_t* data, std::size_t size);
// The bytes as a typed CEC message and as message bytes.
int decodeCecFuzzOne(const std::uint8_t* data, std::size_t size);
// The first byte picks the HDR frame (typed text, typed bytes, captured) or
// the AVI data (text, bytes); the rest is the input.
int decodeInfoFrameFuzzOne(const std::uint8_t* data, std::size_t size);
