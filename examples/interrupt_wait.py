#!/usr/bin/env python3
"""Waiting for interrupts: the external interrupt of the simulated PCI board
fires 50 times a second; a digital input line fires when the output port
wired to it changes."""

import kaDriver as K

BOARD = 0
EXTERNAL_IRQ = 9          # subdevice of the external interrupt input
INPUT_PORT, OUTPUT_PORT = 4, 5   # the input port reads the output port's lines


def set_outputs(value):
    K.kaIOSingle([dict(Device=BOARD, Subdevice=OUTPUT_PORT, Channel=0, Dir=K.KA_DIR_OUTPUT,
                       Value=value, TimeOut=0, Flags=K.KA_IO_SINGLE_TYPE_NO_FLAGS, Errno=0)],
                 K.KA_IO_SINGLE_NO_FLAGS)


def main():
    K.kaOpen(K.KA_OPEN_NO_FLAGS)
    try:
        K.kaIOIrqStart(BOARD, EXTERNAL_IRQ, 0, 0, K.KA_IRQ_EDGE_RISING, 0,
                       K.KA_IO_IRQ_START_NO_FLAGS)
        for _ in range(3):
            count, value = K.kaIOIrqWait(BOARD, EXTERNAL_IRQ, 0, 1000, K.KA_IO_IRQ_WAIT_NO_FLAGS)
            print(f"external interrupt: {count} since start, line {value}")
        K.kaIOIrqStop(BOARD, EXTERNAL_IRQ, 0, K.KA_IO_IRQ_STOP_NO_FLAGS)

        line = 3
        K.kaIOIrqStart(BOARD, INPUT_PORT, line, K.KA_IRQ_SOURCE_DIO_LINE, K.KA_IRQ_EDGE_RISING, 0,
                       K.KA_IO_IRQ_START_NO_FLAGS)
        for _ in range(2):
            set_outputs(1 << line)   # a rising edge on the line
            count, value = K.kaIOIrqWait(BOARD, INPUT_PORT, line, 1000, K.KA_IO_IRQ_WAIT_NO_FLAGS)
            print(f"digital line {line} rose: interrupt {count}, line now {value}")
            set_outputs(0)
        try:
            K.kaIOIrqWait(BOARD, INPUT_PORT, line, 100, K.KA_IO_IRQ_WAIT_NO_FLAGS)
        except K.error as error:
            code, text = error.args
            print(f"no further edge within 100 ms: {text} ({code})")
        K.kaIOIrqStop(BOARD, INPUT_PORT, line, K.KA_IO_IRQ_STOP_NO_FLAGS)
    finally:
        K.kaClose(K.KA_CLOSE_NO_FLAGS)


if __name__ == "__main__":
    main()
