#!/usr/bin/env python3
"""Waiting for interrupts: the external interrupt of the simulated PCI board
fires 50 times a second; a digital input line fires when the output port
wired to it changes. The waits let Ctrl-C and other threads through."""

import kaDriver as K
import tarvex
from tarvex import Direction, IrqEdge, IrqSource

BOARD = 0
EXTERNAL_IRQ = 9          # subdevice of the external interrupt input
INPUT_PORT, OUTPUT_PORT = 4, 5   # the input port reads the output port's lines


def set_outputs(value):
    port = [tarvex.single_entry(device=BOARD, subdevice=OUTPUT_PORT, channel=0,
                                direction=Direction.OUTPUT, value=value)]
    K.kaIOSingle(port, K.KA_IO_SINGLE_NO_FLAGS)
    tarvex.check(port)


def main():
    with tarvex.opened():
        with tarvex.Interrupt(BOARD, EXTERNAL_IRQ, 0, edge=IrqEdge.RISING) as external:
            for _ in range(3):
                count, value = external.wait(timeout=1.0)
                print(f"external interrupt: {count} since start, line {value}")

        line = 3
        with tarvex.Interrupt(BOARD, INPUT_PORT, line, source=IrqSource.DIO_LINE,
                              edge=IrqEdge.RISING) as rising:
            for _ in range(2):
                set_outputs(1 << line)   # a rising edge on the line
                count, value = rising.wait(timeout=1.0)
                print(f"digital line {line} rose: interrupt {count}, line now {value}")
                set_outputs(0)
            try:
                rising.wait(timeout=0.1)
            except K.error as error:
                print(f"no further edge within 100 ms: {tarvex.result(error.args[0])}")


if __name__ == "__main__":
    main()
