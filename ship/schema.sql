-- The fleet's transaction messages, one row per journal line, stored once per (terminal, sequence).
-- vekship applies this file when the table is missing; `vekship --print-schema | psql` applies it by
-- hand. Every statement may run again.
CREATE TABLE IF NOT EXISTS vek_transaction (
  terminal      text        NOT NULL,  -- the terminal id, unique across the fleet
  sequence      bigint      NOT NULL CHECK (sequence > 0),  -- the terminal's message number, from 1
  terminal_time timestamp   NOT NULL,  -- the terminal's clock when the message was sent
  flag          smallint    NOT NULL CHECK (flag IN (0, 1)),
  record        text        NOT NULL,  -- as journaled: bytes outside printable ASCII and \ as \xHH
  server        text        NOT NULL,  -- the server whose shipper stored the row
  stored_at     timestamptz NOT NULL DEFAULT now(),
  picked_up     timestamptz,           -- set by the warehouse system when it has taken the row
  PRIMARY KEY (terminal, sequence)
);

-- The rows a warehouse system has not taken yet, oldest first.
CREATE INDEX IF NOT EXISTS vek_transaction_waiting ON vek_transaction (stored_at) WHERE picked_up IS NULL;
