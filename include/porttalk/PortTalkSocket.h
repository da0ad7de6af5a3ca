/* The driver protocol over a stream socket, as a virtual appliance serves
 * it on a Unix socket. Plain C with no system header, like the protocol.
 *
 * A connection is one open handle of the device: it keeps its own PCI
 * configuration address. Requests on it are answered one at a time, in
 * order.
 *
 * A request is a header of three 32-bit little-endian fields, then the
 * input:
 *   offset 0  control code (PORTTALK_* or PORTTALK_QUERY_BOARD)
 *   offset 4  input size in bytes (n)
 *   offset 8  output size in bytes: room for the answer, as
 *             DeviceIoControl's output buffer length
 *   offset 12 n bytes of input, laid out as the device's request
 *
 * The answer is a header of two 32-bit little-endian fields, then the
 * answer's bytes:
 *   offset 0  outcome: 0 done, 1 unknown request, 2 malformed (sizes that
 *             do not fit the code's layout), 3 refused by the allow-list;
 *             the device's own answers, as PortTalkOutcome numbers them
 *   offset 4  bytes answered (m), 0 unless done
 *   offset 8  m bytes of answer
 *
 * A size above PORTTALK_SOCKET_MAX_SIZE is no request of this protocol:
 * the appliance closes the connection without an answer.
 */
#pragma once

#define PORTTALK_SOCKET_REQUEST_HEADER 12
#define PORTTALK_SOCKET_ANSWER_HEADER 8
#define PORTTALK_SOCKET_MAX_SIZE 256

/* The board query: no input; answers the product name the board reports
 * (as the DMI board name or WMI's Win32_BaseBoard.Product would), without
 * a terminator, up to the output size. A board that reports none answers 0
 * bytes. */
#define PORTTALK_QUERY_BOARD 0x9C402800ul
#define PORTTALK_QUERY_BOARD_OUT 64

#define PORTTALK_OUTCOME_DONE 0
#define PORTTALK_OUTCOME_UNKNOWN_REQUEST 1
#define PORTTALK_OUTCOME_MALFORMED 2
#define PORTTALK_OUTCOME_REFUSED 3
