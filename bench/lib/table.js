'use strict';
// The one table of the benchmark: each figure, its baseline, the ratio
// add-on / baseline and whether the target is met.

function formatValue(value, unit) {
  if (value === null || value === undefined) return '-';
  if (unit === 'ns') return value >= 5000 ? `${(value / 1000).toFixed(1)} µs` : `${Math.round(value)} ns`;
  if (unit === '/s') return value >= 1e6 ? `${(value / 1e6).toFixed(2)} M/s` : `${(value / 1e3).toFixed(1)} k/s`;
  if (unit === 'MB') return `${value.toFixed(2)} MB`;
  if (unit === 'ms') return value >= 1000 ? `${(value / 1000).toFixed(2)} s` : `${value.toFixed(1)} ms`;
  return `${value} ${unit}`;
}

// Targets: a ratio at most `max` or at least `min`; growth within the
// noise; or the add-on's own value below `under` (in the figure's unit).
function formatTarget(target, unit) {
  if (!target) return 'info';
  if (target.under !== undefined) return `< ${formatValue(target.under, unit)}`;
  if (target.max !== undefined) return `≤ ${target.max}`;
  if (target.min !== undefined) return `≥ ${target.min}`;
  if (target.noGrowth) return 'no growth';
  return '?';
}

function verdict(figure) {
  const { target } = figure;
  if (!target) return '';
  if (target.under !== undefined) return figure.addon < target.under ? 'met' : 'missed';
  if (target.max !== undefined) return figure.ratio <= target.max ? 'met' : 'missed';
  if (target.min !== undefined) return figure.ratio >= target.min ? 'met' : 'missed';
  if (target.noGrowth) return figure.addon <= figure.noise ? 'met' : 'missed';
  return '';
}

function row(figure) {
  const value = (v) => formatValue(v, figure.unit);
  const ratio = figure.ratio === null || figure.ratio === undefined ? '-' : figure.ratio.toFixed(2);
  const noGrowth = figure.target && figure.target.noGrowth;
  const addon = noGrowth ? `${value(figure.addon)} (noise ${value(figure.noise)})` : value(figure.addon);
  const { info } = figure;
  const also = info ? `${info.baselineName} ${value(info.baseline)}: ${info.ratio.toFixed(2)}` : '';
  const { label, baselineName, baseline, target } = figure;
  return [label, addon, baselineName, value(baseline), ratio, formatTarget(target, figure.unit), verdict(figure), also];
}

// Markdown, so that the same text serves the terminal and the README.
function formatTable(results) {
  const header = ['Figure', 'Add-on', 'Baseline', 'Baseline value', 'Ratio', 'Target', 'Result', 'For information'];
  const rows = [];
  for (const section of results.sections) {
    rows.push([`**${section.title}**`, '', '', '', '', '', '', '']);
    for (const figure of section.figures) rows.push(row(figure));
  }
  const widths = header.map((title, i) => Math.max(title.length, ...rows.map((r) => r[i].length)));
  const line = (cells) => `| ${cells.map((cell, i) => cell.padEnd(widths[i])).join(' | ')} |`;
  const { machine } = results;
  return [
    `Machine: ${machine.cores} cores, ${machine.cpu}; ${machine.platform}; Node.js ${machine.node}.`,
    `Run of ${results.seconds.toFixed(0)} s; load average ${machine.loadAverageAtStart.toFixed(1)} before it started.`,
    'Values are medians of the repetitions; a ratio is the median of the per-repetition ratios add-on / baseline.',
    '',
    line(header),
    line(widths.map((w) => '-'.repeat(w))),
    ...rows.map(line),
  ].join('\n');
}

module.exports = { formatTable, verdict };
