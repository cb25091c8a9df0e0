#include "decode/CecDecode.h"

#include "decode/CecOperands.h"
#include "decode/ColonHexInput.h"

namespace decode {
namespace {

constexpr int kMaxMessageBytes = 16; // header, opcode and 14 operands
constexpr unsigned kBroadcast = 15;

Node addressNode(const char* key, const char* label, unsigned address, bool asDestination) {
    const char* name = cecLogicalAddressName(address, asDestination);
    Node n = field(key, label, std::string(name) + " (" + std::to_string(address) + ")");
    n.children.push_back(jsonOnly("address", static_cast<int>(address)));
    n.children.push_back(jsonOnly("name", name));
    return n;
}

std::string addressWords(unsigned address, bool asDestination) {
    return std::string(cecLogicalAddressName(address, asDestination)) + " (" +
           std::to_string(address) + ")";
}

void checkAddressing(Decoded& d, Node& opcodeNode, const CecOpcode& op, unsigned destination) {
    const bool broadcast = destination == kBroadcast;
    if (op.addressing == CecAddressing::Broadcast && !broadcast)
        addProblem(d, opcodeNode,
                   "byte 1: " + std::string(op.name) +
                       " goes to all devices (broadcast, 15), not to " +
                       addressWords(destination, true));
    else if (op.addressing == CecAddressing::Directed && broadcast)
        addProblem(d, opcodeNode,
                   "byte 1: " + std::string(op.name) +
                       " goes to one device, not broadcast; receivers ignore it");
}

std::string operandCount(int n) {
    return std::to_string(n) + (n == 1 ? " operand byte" : " operand bytes");
}

void decodeOpcode(Decoded& d, Bytes message, unsigned destination) {
    const std::uint8_t code = message[1];
    const Bytes operands = message.subspan(2);
    const int count = static_cast<int>(operands.size());
    const CecOpcode* op = findCecOpcode(code);
    if (!op) {
        Node n = field("opcode", "Opcode", "unknown opcode " + hexByte(code));
        n.children.push_back(jsonOnly("code", code));
        n.children.push_back(jsonOnly("name", QJsonValue(QJsonValue::Null)));
        d.nodes.push_back(std::move(n));
        if (count > 0)
            d.nodes.push_back(field("operandBytes", "Operand bytes", colonHex(operands)));
        return;
    }
    Node opcodeNode = field("opcode", "Opcode", std::string(op->name) + " (" + hexByte(code) + ")");
    opcodeNode.children.push_back(jsonOnly("code", code));
    opcodeNode.children.push_back(jsonOnly("name", op->name));
    checkAddressing(d, opcodeNode, *op, destination);
    d.nodes.push_back(std::move(opcodeNode));

    const int used = std::min<int>(count, op->maxOperands);
    if (count < op->minOperands) {
        d.nodes.push_back(problemNode(d, "missingOperands", "Operands",
                                      "byte " + std::to_string(3 + count) + ": " + op->name +
                                          " needs " + operandCount(op->minOperands) +
                                          ", the message has " + std::to_string(count)));
    }
    if (op->maxOperands > 0 && count > 0) {
        Node operandsNode = group("operands", "Operands");
        decodeCecOperands(d, operandsNode, op->operands, operands.first(used), 3);
        d.nodes.push_back(std::move(operandsNode));
    }
    if (count > op->maxOperands)
        d.nodes.push_back(field("extraBytes", "Bytes past the operands (receivers ignore them)",
                                colonHex(operands.subspan(used))));
}

} // namespace

Decoded decodeCecBytes(std::span<const std::uint8_t> message) {
    Decoded d;
    d.title = "CEC message";
    if (message.empty()) {
        d.nodes.push_back(problemNode(d, "header", "Header",
                                      "byte 1: missing, a message starts with its header"));
        return d;
    }
    const unsigned initiator = message[0] >> 4;
    const unsigned destination = message[0] & 0x0F;
    d.nodes.push_back(addressNode("initiator", "From", initiator, false));
    d.nodes.push_back(addressNode("destination", "To", destination, true));
    d.nodes.push_back(jsonOnly("polling", message.size() == 1));
    if (message.size() == 1) {
        d.nodes.push_back(field(
            "message", "Message",
            initiator == destination
                ? "polling message: is logical address " + std::to_string(destination) + " taken?"
                : "polling message: is " + addressWords(destination, true) + " there?"));
        return d;
    }
    if (message.size() > kMaxMessageBytes) {
        d.nodes.push_back(problemNode(d, "length", "Length",
                                      "byte " + std::to_string(kMaxMessageBytes + 1) +
                                          ": a CEC message has at most " +
                                          std::to_string(kMaxMessageBytes) + " bytes, this one " +
                                          std::to_string(message.size())));
    }
    decodeOpcode(d, message, destination);
    return d;
}

Decoded decodeCecText(std::string_view colonHex) {
    return decodeTypedBytes(colonHex, decodeCecBytes);
}

} // namespace decode
